// Power and lifecycle, end to end: the engine on a private bus with the
// launcher stand-in and the broadcast engine stand-in.

#include "BroadcastSim.h"
#include "EngineRig.h"
#include "ISDBtDataManager.h"
#include "ISDBtDevDetectHandler.h"
#include "ISDBtThread.h"
#include "KvrOzbFSegPlayer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QQuickItem>
#include <QQuickView>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <string>

using namespace launcher_test;

namespace {

const std::string kRememberedTune = "setChannel(" + std::to_string(kRememberedFullId) + ",";

int storedValue(EngineRig& rig, const char* key)
{
    QSettings ini(QString::fromStdString(rig.root.path("/home/root/isdbt/settings.ini")), QSettings::IniFormat);
    return ini.value(key, -1).toInt();
}

int storedPowerOn(EngineRig& rig)
{
    return storedValue(rig, "powerOn");
}

TEST(EnginePower, StartTellsTheLauncherAndTunesTheRememberedChannel)
{
    EngineRig rig;
    // The prepared event reaches the engine through its event loop, which has
    // not run yet: read now, not after the waits below, which a loaded
    // machine may stretch past the prepare delay.
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Preparing);
    ASSERT_TRUE(rig.bus.ok());
    ASSERT_TRUE(rig.launcher->ok());
    // The whole screen tree loads, as in the program.
    EXPECT_NE(rig.engine->view()->rootObject(), nullptr);
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_set_running(5, 1)"), 0);
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_request_power_mode(0, 0)"), 0);
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_EQ(rig.playerCalls(kRememberedTune), 1);
    EXPECT_TRUE(rig.engine->getStartServiceDone());
    EXPECT_FALSE(rig.engine->inProcessing());

    // The launcher's power mode lands in the settings.
    rig.launcher->send("powermode 1");
    rig.engine->SendDBusRequestPowerMode(0, 0);
    EXPECT_TRUE(waitUntil([] { return ISDBtDataManager::getInstance()->getStartPower() == 1; }));
}

// The job thread's power signals reach the engine queued, whichever thread
// emits them.
TEST(EnginePower, StoredVideoDelayBeyondAnIntOfMillisecondsReachesThePlayerCapped)
{
    EngineOptions o;
    o.settings += "videoDelay=30000000\n";
    EngineRig rig(o);
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_EQ(rig.playerCalls("setVideoDelay(2147483647)"), 1);
}

TEST(EnginePower, JobThreadPowerSignalsArriveQueued)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    emit rig.engine->jobThread()->sendCompleteThreadAndPowerOff();
    EXPECT_TRUE(rig.engine->getAppPowerOn()) << "not delivered at once";
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    EXPECT_EQ(storedPowerOn(rig), 1) << "no power key asked to store the power-off";
    emit rig.engine->jobThread()->sendPowerOn();
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_EQ(rig.playerCalls(kRememberedTune), 2);
}

TEST(EnginePower, AliveRequestsForOurIdGetFourAnswersHalfASecondApart)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    const QString answer = "call method_launcher_response_alive(5)";
    // Another application's request is not ours to answer; the key after it
    // shows that it has been handled.
    rig.launcher->send("alive 4");
    rig.launcher->send("key 22");
    ASSERT_TRUE(rig.waitForKeys(2));
    EXPECT_FALSE(rig.engine->aliveTimer()->isActive());
    EXPECT_EQ(rig.launcher->count(answer), 0);

    // The answers after the first come from the engine's single-shot timer:
    // each expiry answers and, twice, starts it again with 500 ms, so they
    // go out at 0, 500, 1000 and 1500 ms. What the timer was started with is
    // recorded at each expiry (the engine's handler runs first); the times
    // are taken in this process from the request on, with room above for a
    // loaded machine (a timer never fires much early, only late).
    QTimer* timer = rig.engine->aliveTimer();
    EXPECT_TRUE(timer->isSingleShot());
    struct Expiry {
        qint64 ms;
        bool restarted;
        int interval;
    };
    QList<Expiry> expiries;
    QElapsedTimer clock;
    const QMetaObject::Connection watch = QObject::connect(timer, &QTimer::timeout, rig.engine.get(), [&] {
        expiries << Expiry{clock.elapsed(), timer->isActive(), timer->interval()};
    });
    clock.start();
    rig.launcher->send("alive 5");
    int at = 0;
    for (int i = 0; i < 4; ++i) {
        at = rig.launcher->waitForLine(answer, at);
        ASSERT_GE(at, 0) << "answer " << i;
        ++at;
    }
    ASSERT_TRUE(waitUntil([&] { return !timer->isActive(); }));
    EXPECT_EQ(rig.launcher->count(answer), 4);
    ASSERT_EQ(expiries.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(expiries[i].restarted, i < 2) << "expiry " << i;
        EXPECT_EQ(expiries[i].interval, 500) << "expiry " << i;
        const qint64 due = 500 * (i + 1);
        EXPECT_GE(expiries[i].ms, due * 9 / 10) << "expiry " << i << " came early";
        EXPECT_LE(expiries[i].ms, due + 5000) << "expiry " << i << " came far too late";
        if (i > 0) {
            const qint64 gap = expiries[i].ms - expiries[i - 1].ms;
            EXPECT_GE(gap, 450) << "expiry " << i;
            EXPECT_LE(gap, 500 + 3000) << "expiry " << i;
        }
    }
    QObject::disconnect(watch);

    // A request during a series starts it again: the first series ends
    // early, the second gives its four answers.
    rig.launcher->send("alive 5");
    ASSERT_GE(at = rig.launcher->waitForLine(answer, at), 0);
    ASSERT_GE(at = rig.launcher->waitForLine(answer, at + 1), 0);
    rig.engine->AppRequestAlive();
    EXPECT_GT(rig.engine->aliveTimer()->remainingTime(), 400);
    for (int i = 0; i < 4; ++i)
        ASSERT_GE(at = rig.launcher->waitForLine(answer, at + 1), 0) << "answer " << i << " of the second";
    ASSERT_TRUE(waitUntil([&] { return !rig.engine->aliveTimer()->isActive(); }));
    // Two or three of the first (the third may have left before the
    // restart), four of the second.
    const int total = rig.launcher->count(answer);
    EXPECT_TRUE(total == 10 || total == 11) << total;
}

TEST(EnginePower, PowerKeyPowersOffAndOnAgainWithANewPlayer)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    KvrOzbFSegPlayer* player = KvrOzbFSegPlayer::getInstance();
    QSignalSpy off(rig.engine.get(), SIGNAL(sendPowerOff()));
    // Plain presses: a loaded machine that delivers a release late must not
    // turn one into a long press, whose extra event would stand in for the
    // release awaited below.
    rig.engine->longPressTimer()->setInterval(60000);
    const SeenKey powerPress{QEvent::KeyPress, Qt::Key_P, Qt::NoModifier};
    const SeenKey powerRelease{QEvent::KeyRelease, Qt::Key_P, Qt::NoModifier};

    rig.launcher->send("key 35");
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    // The list is cleared below: the release must be in it before.
    ASSERT_TRUE(rig.waitForKey(powerRelease)) << "the POWER release, after the power-off";
    EXPECT_EQ(rig.view->keys, (std::vector<SeenKey>{powerPress, powerRelease}));
    EXPECT_EQ(off.count(), 1);
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(storedPowerOn(rig), 0) << "the power key stores its power-off";
    EXPECT_EQ(rig.playerCalls("release("), 1);
    EXPECT_EQ(player->getPlayerState(), KvrOzbFSegPlayer::StateNone);

    // Released: only POWER reaches the view.
    rig.view->keys.clear();
    rig.launcher->send("key 22");
    rig.launcher->send("key 14");
    rig.launcher->send("key 35");
    // The press powers on; its release passes too when it is let through
    // before the press reaches the view, else Preparing refuses it.
    ASSERT_TRUE(rig.waitForKey(powerPress));
    EXPECT_EQ(rig.view->keys[0], powerPress);

    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    EXPECT_EQ(storedPowerOn(rig), 1);
    EXPECT_EQ(rig.playerCalls("setListener("), 2) << "a new player";
    EXPECT_EQ(rig.playerCalls(kRememberedTune), 2);
    for (const SeenKey& k : rig.view->keys)
        EXPECT_EQ(k.key, Qt::Key_P);
}

TEST(EnginePower, LauncherPowerDownAnswersAndKeepsTheStoredPower)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.launcher->send("powerdown");
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_response_power_down_control(0)"), 0);
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(storedPowerOn(rig), 1);
    // Powered off already: answered all the same.
    rig.launcher->send("powerdown");
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_response_power_down_control(0)",
                                        rig.launcher->lines().indexOf(
                                            "call method_launcher_response_power_down_control(0)") + 1),
              0);
}

TEST(EnginePower, CableUnpluggedWhilePreparingPowersOffAtThePreparedEvent)
{
    EngineOptions o;
    o.prepareMs = 0;  // the test delivers the prepared event itself
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    QSignalSpy hpd(rig.engine.get(), SIGNAL(sendHPDStateChanged(int)));
    rig.launcher->send("hpd 0");
    ASSERT_TRUE(waitUntil([&] { return rig.engine->hpdChanged(); }));
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Preparing) << "nothing at once";
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    ASSERT_EQ(hpd.count(), 1);
    EXPECT_EQ(hpd[0][0].toInt(), 0);

    ASSERT_TRUE(waitUntil([] { return bsim::injectEvent(1, 0, 0); }));
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(storedPowerOn(rig), 1) << "the cable's power-off is not stored";
    EXPECT_EQ(rig.playerCalls("setChannel("), 0);

    // Plugged in again: powers on.
    rig.launcher->send("hpd 1");
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Preparing));
    EXPECT_TRUE(rig.engine->getAppPowerOn());
}

TEST(EnginePower, CablePluggedWhilePoweringOffEndsInAPowerOn)
{
    EngineOptions o;
    o.prepareMs = 0;  // stays Preparing
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    QSignalSpy main(rig.engine.get(), SIGNAL(sendGoToMainScreen()));
    // Unplugged and plugged again while preparing: both wait for a stable state.
    rig.launcher->send("hpd 0");
    rig.launcher->send("hpd 1");
    rig.launcher->send("powerdown");
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_response_power_down_control(0)"), 0);
    // The power-off ended in a power-on: a new player, not the Released state.
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Preparing);
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    EXPECT_FALSE(rig.engine->hpdChanged());
    EXPECT_TRUE(waitUntil([&] { return rig.playerCalls("setListener(") == 2; }));
    ASSERT_TRUE(waitUntil([] { return bsim::injectEvent(1, 0, 0); }));
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_EQ(main.count(), 0) << "the change was taken care of by the power-on";
}

TEST(EnginePower, PowerKeyIsIgnoredDuringAScanAndDeferredDuringATune)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    KvrOzbFSegPlayer* player = KvrOzbFSegPlayer::getInstance();
    ASSERT_GE(player->scan(0), 0);
    rig.engine->execPower();
    EXPECT_TRUE(rig.engine->getAppPowerOn()) << "ignored while scanning";
    player->scanCancel();

    // A tune in flight: the power-off waits for the change to report its end.
    rig.engine->setEnableSetChannel(false);
    rig.engine->execPower();
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    EXPECT_TRUE(rig.engine->powerOffAfterSetChannel());
    rig.engine->onNotifyChannelChanged(false);
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
    EXPECT_EQ(storedPowerOn(rig), 0) << "a power key's power-off is stored";
}

TEST(EnginePower, FactoryResetEndsInARecordedReboot)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    const std::string logo = rig.root.path("/home/root/isdbt/logo/channel_32544.png");
    { QFile f(QString::fromStdString(logo)); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    rig.root.clearRecordedCommands();
    QSignalSpy reset(rig.engine.get(), SIGNAL(notifyFactoryResetChanged(bool)));
    rig.engine->execFactoryReset();
    const std::vector<std::string> commands = rig.root.recordedCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "reboot");
    EXPECT_EQ(reset.count(), 1);
    EXPECT_TRUE(rig.engine->getFactoryReset());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logo)));
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
    EXPECT_EQ(storedValue(rig, "initialized"), 0) << "settings reset";
}

// Starts the engine's USB detector, as the factory and log-copy screens do,
// and waits for its first report.
ISDBtDevDetectHandler* startUsbDetector(EngineRig& rig)
{
    holvik_test::writeFile(rig.root.path("/sys/devices/dwc_otg/busconnected"), "BUS CONNECTED = 0X1\n");
    QSignalSpy changed(rig.engine.get(), &ISDBtAppEngine::notifyUsbDetectionChanged);
    rig.engine->execStartUsbDetect();
    EXPECT_TRUE(waitUntil([&] { return changed.count() >= 1; }));
    auto* detector = rig.engine->findChild<ISDBtDevDetectHandler*>();
    EXPECT_NE(detector, nullptr);
    return detector;
}

// The end of the factory test with `result` in factory.ini; the test's USB
// detector is stopped.
void completeFactoryTest(int result)
{
    EngineOptions o;
    o.factory = "result=" + std::to_string(result) + "\n";
    EngineRig rig(o);
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.engine->setFactoryMode(true);
    ISDBtDevDetectHandler* detector = startUsbDetector(rig);
    ASSERT_NE(detector, nullptr);
    rig.root.clearRecordedCommands();
    rig.engine->execFactoryTestComplete();
    EXPECT_FALSE(rig.engine->factoryMode());
    EXPECT_TRUE(waitUntil([&] { return detector->isFinished(); })) << "the USB detector still runs";
    QSettings ini(QString::fromStdString(rig.root.path("/home/root/isdbt/factory.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value("status").toInt(), 2);
    const std::vector<std::string> commands = rig.root.recordedCommands();
    const bool rebooted = std::find(commands.begin(), commands.end(), "reboot") != commands.end();
    EXPECT_EQ(rebooted, result == 2);
    EXPECT_EQ(rig.engine->getAppPowerOn(), result != 2);
}

TEST(EnginePower, FactoryTestCompleteAfterAPassedTestResets)
{
    completeFactoryTest(2);
}

TEST(EnginePower, FactoryTestCompleteAfterAFailedTestKeepsRunning)
{
    completeFactoryTest(1);
}

TEST(EnginePower, ReleaseTellsTheLauncherAndPowersOffWithoutStoring)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ISDBtDevDetectHandler* detector = startUsbDetector(rig);
    ASSERT_NE(detector, nullptr);
    rig.engine->release();
    EXPECT_TRUE(waitUntil([&] { return detector->isFinished(); })) << "the USB detector still runs";
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_set_running(5, 0)"), 0);
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(rig.playerCalls("release("), 1);
    EXPECT_EQ(storedPowerOn(rig), 1) << "the next start powers on";
}

// A power key during a channel change defers the power-off to the change's
// end. A power-off by other means in between must drop that request: the
// next power-on's first tune must not power off.
TEST(EnginePower, DeferredPowerOffDoesNotOutliveAnotherPowerOff)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.engine->setEnableSetChannel(false);  // a tune in flight
    rig.engine->execPower();
    EXPECT_TRUE(rig.engine->powerOffAfterSetChannel());
    EXPECT_TRUE(rig.engine->getAppPowerOn());

    rig.launcher->send("powerdown");
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    EXPECT_FALSE(rig.engine->powerOffAfterSetChannel());

    QSignalSpy changed(KvrOzbFSegPlayer::getInstance(), SIGNAL(notifyChannelChanged(bool)));
    rig.engine->execPower();
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ASSERT_TRUE(waitUntil([&] { return changed.count() >= 1; }));
    // The slot runs queued after the spy: let it run.
    QSignalSpy states(rig.engine.get(), SIGNAL(notifyOzbStateChanged(int)));
    rig.launcher->send("key 22");
    ASSERT_TRUE(rig.waitForKeys(2));
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Prepared);
    EXPECT_EQ(states.count(), 0);
}

// Events of a player that a power-off released may still be queued: they
// must not start the service on the player that is gone.
TEST(EnginePower, LateEventsOfAReleasedPlayerAreIgnored)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.launcher->send("powerdown");
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    const int tunes = rig.playerCalls("setChannel(");
    rig.engine->onNotifyPrepared();
    rig.engine->onNotifyAntenaShortStatus(1);
    rig.engine->onNotifyAntenaShortStatus(0);
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
    EXPECT_FALSE(rig.engine->inProcessing());
    EXPECT_EQ(rig.playerCalls("setChannel("), tunes);
    EXPECT_EQ(ISDBtDataManager::getInstance()->getAntennaState(), 0);
}

TEST(EnginePower, AntennaShortStopsTheServiceAndRefusesKeysUntilReconnected)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.engine->onNotifyAntenaShortStatus(1);
    EXPECT_TRUE(rig.engine->inProcessing());
    EXPECT_FALSE(rig.engine->getStartServiceDone());
    EXPECT_EQ(ISDBtDataManager::getInstance()->getAntennaState(), 1);
    rig.engine->onNotifyAntenaShortStatus(0);
    EXPECT_FALSE(rig.engine->inProcessing());
    EXPECT_EQ(rig.playerCalls(kRememberedTune), 2) << "the service starts again";
}

}  // namespace
