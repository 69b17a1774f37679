// The log copy to the USB stick: the launcher's alive checks paused and
// resumed around it, keys refused meanwhile (bInCopyingLog, with its change
// signal), the service restarted whatever the outcome.
// The USB detector and the factory USB check through the engine.

#include "EngineRig.h"
#include "ImageMakeThread.h"
#include "KvrOzbFSegPlayer.h"
#include "SettingsTestUtil.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

using namespace launcher_test;

namespace {

struct CopySpies {
    explicit CopySpies(ISDBtAppEngine* e)
        : toast(e, &ISDBtAppEngine::sendToastMessage)
        , complete(e, &ISDBtAppEngine::sendCompleteLogCopy)
        , copying(e, &ISDBtAppEngine::notifyInCopyingLogChanged)
    {
    }
    QSignalSpy toast;
    QSignalSpy complete;
    QSignalSpy copying;
};

int syncs(EngineRig& rig)
{
    int n = 0;
    for (const std::string& c : rig.root.recordedCommands()) {
        n += c.find("sync") != std::string::npos ? 1 : 0;
    }
    return n;
}

const QString kAliveOff = "call method_launcher_set_check_alive(0)";
const QString kAliveOn = "call method_launcher_set_check_alive(1)";

TEST(LogCopy, WithoutAStickOnlyTellsSo)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    CopySpies spies(rig.engine.get());
    bsim::clearCalls();
    rig.engine->execLogCopy();
    ASSERT_EQ(spies.toast.count(), 1);
    EXPECT_EQ(spies.toast.at(0).at(0).toString(), "USB is not accessable!");
    ASSERT_EQ(spies.complete.count(), 1);
    EXPECT_FALSE(spies.complete.at(0).at(0).toBool());
    EXPECT_EQ(spies.copying.count(), 0);
    EXPECT_EQ(rig.playerCalls("stop("), 0);
    EXPECT_EQ(rig.playerCalls("copyLogFilesToUsb("), 0);
    // Nothing went to the launcher: a later call is the first line after start.
    rig.engine->SendDBusSetCheckAlive(1);
    ASSERT_GE(rig.launcher->waitForLine(kAliveOn), 0);
    EXPECT_EQ(rig.launcher->count(kAliveOff), 0);
}

TEST(LogCopy, CopiesBothLogsBetweenAliveChecksOffAndOn)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    QDir().mkpath(QString::fromStdString(rig.root.path("/run/media/sda1")));
    CopySpies spies(rig.engine.get());
    bsim::clearCalls();
    rig.root.clearRecordedCommands();
    rig.engine->execLogCopy();

    ASSERT_EQ(spies.toast.count(), 1);
    EXPECT_EQ(spies.toast.at(0).at(0).toString(), "Log Export Succeed!");
    ASSERT_EQ(spies.complete.count(), 1);
    EXPECT_TRUE(spies.complete.at(0).at(0).toBool());
    ASSERT_EQ(spies.copying.count(), 2);
    EXPECT_EQ(spies.copying.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spies.copying.at(1).at(0).toInt(), 0);
    EXPECT_FALSE(rig.engine->getInCopyingLog());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(rig.root.path("/run/media/sda1/DtvAppLog.tgz"))));
    EXPECT_EQ(rig.playerCalls("copyLogFilesToUsb("), 1);
    EXPECT_EQ(rig.playerCalls("stop("), 1);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_GE(syncs(rig), 2);

    const int off = rig.launcher->waitForLine(kAliveOff);
    ASSERT_GE(off, 0);
    EXPECT_GE(rig.launcher->waitForLine(kAliveOn, off + 1), 0);
}

TEST(LogCopy, AFailingEngineCopyStillCopiesTheAppLogAndRestartsTheService)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    // The station logos asked for at service start are each flushed with a
    // sync of their own: let them be written before syncs are counted.
    ASSERT_TRUE(launcher_test::waitUntil([&] { return rig.engine->getStartServiceDone(); }));
    ImageMakeThread* logoWriter = KvrOzbFSegPlayer::getInstance()->imageMakeThread();
    ASSERT_NE(logoWriter, nullptr);
    ASSERT_TRUE(launcher_test::waitUntil([&] { return !logoWriter->busy(); }));
    QDir().mkpath(QString::fromStdString(rig.root.path("/run/media/sda1")));
    // A successful copy first, for the number of syncs it makes.
    rig.root.clearRecordedCommands();
    rig.engine->execLogCopy();
    const int succeededSyncs = syncs(rig);
    const int firstOff = rig.launcher->waitForLine(kAliveOff);
    ASSERT_GE(firstOff, 0);
    ASSERT_GE(rig.launcher->waitForLine(kAliveOn, firstOff + 1), 0);
    QFile::remove(QString::fromStdString(rig.root.path("/run/media/sda1/DtvAppLog.tgz")));

    bsim::setResult("copyLogFilesToUsb", -1);
    CopySpies spies(rig.engine.get());
    bsim::clearCalls();
    rig.root.clearRecordedCommands();
    rig.engine->execLogCopy();
    bsim::clearResults();

    ASSERT_EQ(spies.toast.count(), 1);
    EXPECT_EQ(spies.toast.at(0).at(0).toString(), "Log Export Fail!");
    ASSERT_EQ(spies.complete.count(), 1);
    EXPECT_FALSE(spies.complete.at(0).at(0).toBool());
    EXPECT_EQ(spies.copying.count(), 2);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(rig.root.path("/run/media/sda1/DtvAppLog.tgz"))));
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_TRUE(rig.engine->getStartServiceDone());
    // No sync after a failed copy.
    EXPECT_EQ(syncs(rig), succeededSyncs - 1);
    const int off = rig.launcher->waitForLine(kAliveOff, firstOff + 1);
    ASSERT_GE(off, 0);
    EXPECT_GE(rig.launcher->waitForLine(kAliveOn, off + 1), 0);
}

}  // namespace

namespace {

// The USB detector as the factory and log-copy screens use it: the engine
// publishes each bus state as nUsbDetection.
TEST(UsbDetect, EngineStartsTheDetectorAndPublishesTheBusState)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    holvik_test::writeFile(rig.root.path("/sys/devices/dwc_otg/busconnected"), "BUS CONNECTED = 0X1\n");
    QSignalSpy changed(rig.engine.get(), &ISDBtAppEngine::notifyUsbDetectionChanged);
    rig.engine->execStartUsbDetect();
    ASSERT_TRUE(waitUntil([&] { return changed.count() >= 1; }));
    EXPECT_EQ(rig.engine->getUsbDetection(), 1);
    // A second start keeps the one detector running.
    rig.engine->execStartUsbDetect();
    holvik_test::writeFile(rig.root.path("/sys/devices/dwc_otg/busconnected"), "BUS CONNECTED = 0X0\n");
    ASSERT_TRUE(waitUntil([&] { return changed.count() >= 2; }));
    EXPECT_EQ(rig.engine->getUsbDetection(), 0);
    // Stopped, then started again: the state is read once more.
    rig.engine->stopUsbDetect();
    holvik_test::writeFile(rig.root.path("/sys/devices/dwc_otg/busconnected"), "BUS CONNECTED = 0X1\n");
    rig.engine->execStartUsbDetect();
    ASSERT_TRUE(waitUntil([&] { return changed.count() >= 3; }));
    EXPECT_EQ(rig.engine->getUsbDetection(), 1);
    EXPECT_EQ(changed.count(), 3);
}

TEST(UsbDetect, FactoryUsbCheckNeedsTheStick)
{
    EngineRig rig;
    EXPECT_FALSE(rig.engine->execFactoryCheckUsbAccess());
    QDir().mkpath(QString::fromStdString(rig.root.path("/run/media/sda1")));
    EXPECT_TRUE(rig.engine->execFactoryCheckUsbAccess());
}

}  // namespace
