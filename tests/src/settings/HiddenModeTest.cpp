// Hidden entry into the engineering mode (remote keys and touches) and the
// factory mode: the steps, what restarts a step or the whole sequence, and
// the step timers' lengths. The timers are shortened after their lengths
// are checked, so waiting for an expiry stays quick.

#include "EngineRig.h"
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#include "KeyGate.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>

#include <utility>
#include <vector>

using namespace launcher_test;

namespace {

constexpr int kPress = AppEngineIF::KeyPressed;
constexpr int kLong = AppEngineIF::KeyLongPressed;
using keygate::KeyBack;
using keygate::KeyDn;
using keygate::KeyLeft;
using keygate::KeyOk;
using keygate::KeyRight;
using keygate::KeyUp;

// The engineering key sequence, one entry per press.
const std::vector<int> kEngKeys = {KeyUp, KeyUp, KeyUp, KeyDn, KeyDn, KeyDn, KeyLeft, KeyLeft,
                                   KeyRight, KeyRight, KeyOk, KeyOk, KeyOk};
const std::vector<int> kFactoryKeys = {KeyUp, KeyUp, KeyDn, KeyDn, KeyLeft, KeyRight};

QTimer* timer(EngineRig& rig, const char* name)
{
    return rig.engine->findChild<QTimer*>(QString::fromLatin1(name));
}

void pressAll(EngineRig& rig, const std::vector<int>& keys, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        rig.engine->checkEngModeByKey(keys[i], kPress);
}

class HiddenMode : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
        rig.engine->setMainState("ISDBtPlayerMain");
    }
    EngineRig rig;
};

TEST_F(HiddenMode, EngineeringKeysEnterAndTheExitKeyLeaves)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    QSignalSpy exit(rig.engine.get(), &ISDBtAppEngine::sendExitEngMode);
    ASSERT_EQ(timer(rig, "engKeyCheckTimer")->interval(), 5000);
    pressAll(rig, kEngKeys, 0, kEngKeys.size() - 1);
    EXPECT_EQ(enter.count(), 0);
    EXPECT_TRUE(timer(rig, "engKeyCheckTimer")->isActive());
    pressAll(rig, kEngKeys, kEngKeys.size() - 1, kEngKeys.size());
    EXPECT_EQ(enter.count(), 1);
    EXPECT_TRUE(rig.engine->getEngMode());
    EXPECT_FALSE(timer(rig, "engKeyCheckTimer")->isActive());

    rig.engine->checkEngModeByKey(KeyUp, kPress);
    rig.engine->checkEngModeByKey(KeyBack, kLong);
    EXPECT_EQ(exit.count(), 0);
    rig.engine->checkEngModeByKey(KeyBack, kPress);
    EXPECT_EQ(exit.count(), 1);
    EXPECT_FALSE(rig.engine->getEngMode());

    // The sequence starts from its beginning again.
    pressAll(rig, kEngKeys, 0, kEngKeys.size());
    EXPECT_EQ(enter.count(), 2);
}

TEST_F(HiddenMode, AWrongKeyRestartsOnlyTheStepItInterrupts)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    const struct {
        const char* name;
        int key, status;
    } interruptions[] = {
        {"other key", KeyRight, kPress},
        {"long press of the step's key", KeyDn, kLong},
    };
    for (const auto& in : interruptions) {
        SCOPED_TRACE(in.name);
        // First step done, two of the second step's three presses.
        pressAll(rig, kEngKeys, 0, 5);
        rig.engine->checkEngModeByKey(in.key, in.status);
        EXPECT_FALSE(timer(rig, "engKeyCheckTimer")->isActive());
        // Three more presses of the second step are needed, then the rest.
        pressAll(rig, kEngKeys, 3, 5);
        pressAll(rig, kEngKeys, 6, kEngKeys.size());
        EXPECT_EQ(enter.count(), 0);
        pressAll(rig, kEngKeys, 3, kEngKeys.size());
        EXPECT_EQ(enter.count(), 1);
        rig.engine->checkEngModeByKey(KeyBack, kPress);
        enter.clear();
    }

    // Another screen counts as an interruption too.
    pressAll(rig, kEngKeys, 0, 4);
    rig.engine->setMainState("ISDBtSetupMain");
    rig.engine->checkEngModeByKey(KeyDn, kPress);
    rig.engine->setMainState("ISDBtPlayerMain");
    pressAll(rig, kEngKeys, 3, kEngKeys.size());
    EXPECT_EQ(enter.count(), 1);
}

TEST_F(HiddenMode, APauseLongerThanTheStepTimerRestartsTheWholeSequence)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    QTimer* t = timer(rig, "engKeyCheckTimer");
    t->setInterval(50);
    pressAll(rig, kEngKeys, 0, 7);
    ASSERT_TRUE(waitUntil([&] { return !t->isActive(); }));
    pressAll(rig, kEngKeys, 7, kEngKeys.size());
    EXPECT_EQ(enter.count(), 0);
    pressAll(rig, kEngKeys, 0, kEngKeys.size());
    EXPECT_EQ(enter.count(), 1);
}

TEST_F(HiddenMode, EngineeringTouchesEnterAndAStrayTouchKeepsTheProgress)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    QTimer* t = timer(rig, "engChenckTimer");
    ASSERT_EQ(t->interval(), 5000);
    const std::vector<std::pair<int, int>> touches = {{10, 10},     {20, 20},     {1200, 10},  {1270, 100},
                                                      {1200, 700},  {1130, 600},  {10, 700},   {100, 600},
                                                      {640, 360},   {600, 300},   {700, 400}};
    for (size_t i = 0; i + 1 < touches.size(); ++i)
        EXPECT_TRUE(rig.engine->checkEngMode(touches[i].first, touches[i].second)) << i;
    // A stray touch: refused, the timer stops, level and count stay.
    EXPECT_FALSE(rig.engine->checkEngMode(10, 10));
    EXPECT_FALSE(t->isActive());
    EXPECT_EQ(enter.count(), 0);
    EXPECT_TRUE(rig.engine->checkEngMode(touches.back().first, touches.back().second));
    EXPECT_EQ(enter.count(), 1);
    EXPECT_TRUE(rig.engine->getEngMode());
    // At the last level the next touch starts over.
    EXPECT_FALSE(rig.engine->checkEngMode(10, 10));
    EXPECT_TRUE(rig.engine->checkEngMode(10, 10));

    // The expiry starts over too.
    t->setInterval(50);
    ASSERT_TRUE(waitUntil([&] { return !t->isActive(); }));
    EXPECT_TRUE(rig.engine->checkEngMode(10, 10));
    EXPECT_TRUE(rig.engine->checkEngMode(10, 10));
    EXPECT_FALSE(rig.engine->checkEngMode(640, 360));
}

TEST_F(HiddenMode, LeavingTheLiveScreenRestartsTheTouchCountOfTheStepButKeepsTheLevel)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    // Level 1 done; one of the two top-right touches, then another screen.
    EXPECT_TRUE(rig.engine->checkEngMode(10, 10));
    EXPECT_TRUE(rig.engine->checkEngMode(10, 10));
    EXPECT_TRUE(rig.engine->checkEngMode(1200, 10));
    rig.engine->setMainState("ISDBtSetupMain");
    rig.engine->setMainState("ISDBtPlayerMain");
    // Still level 2, with its two touches to give again: the bottom-right
    // step refuses the third.
    EXPECT_TRUE(rig.engine->checkEngMode(1200, 10));
    EXPECT_FALSE(rig.engine->checkEngMode(1200, 700));
    EXPECT_TRUE(rig.engine->checkEngMode(1200, 10));
    const std::vector<std::pair<int, int>> rest = {{1200, 700}, {1200, 700}, {10, 700},
                                                   {10, 700},   {640, 360},  {640, 360}};
    for (const auto& p : rest)
        EXPECT_TRUE(rig.engine->checkEngMode(p.first, p.second));
    EXPECT_EQ(enter.count(), 0);
    // The live-TV screen itself keeps the count.
    rig.engine->setMainState("ISDBtPlayerMain");
    EXPECT_TRUE(rig.engine->checkEngMode(640, 360));
    EXPECT_EQ(enter.count(), 1);
}

TEST_F(HiddenMode, FactoryKeysEnterWithinTheStepTime)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterFactoryMode);
    QTimer* t = timer(rig, "factoryKeyCheckTimer");
    ASSERT_EQ(t->interval(), 2000);
    ISDBtDataManager::getInstance()->setSegMode(1);

    // Only presses count; other events change nothing.
    for (size_t i = 0; i < kFactoryKeys.size(); ++i) {
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], kLong);
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], AppEngineIF::KeyReleased);
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], kPress);
    }
    EXPECT_EQ(enter.count(), 1);
    EXPECT_EQ(ISDBtDataManager::getInstance()->getSegMode(), 4);
    EXPECT_EQ(ISDBtFactoryDataManager::getInstance()->getStatus(), 1);
    EXPECT_FALSE(t->isActive());
}

TEST_F(HiddenMode, FactoryEntryFailsAfterAPauseOrAWrongKey)
{
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterFactoryMode);
    QTimer* t = timer(rig, "factoryKeyCheckTimer");
    t->setInterval(50);
    for (size_t i = 0; i < 5; ++i)
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], kPress);
    ASSERT_TRUE(waitUntil([&] { return !t->isActive(); }));
    EXPECT_FALSE(rig.engine->checkFactoryModeByKey(kFactoryKeys[5], kPress));
    EXPECT_EQ(enter.count(), 0);

    for (size_t i = 0; i < 3; ++i)
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], kPress);
    EXPECT_FALSE(rig.engine->checkFactoryModeByKey(KeyOk, kPress));
    EXPECT_FALSE(t->isActive());
    for (size_t i = 3; i < kFactoryKeys.size(); ++i)
        rig.engine->checkFactoryModeByKey(kFactoryKeys[i], kPress);
    EXPECT_EQ(enter.count(), 0);

    t->setInterval(2000);
    for (int key : kFactoryKeys)
        rig.engine->checkFactoryModeByKey(key, kPress);
    EXPECT_EQ(enter.count(), 1);
}

}  // namespace
