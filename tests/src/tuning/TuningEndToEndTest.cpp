// Channel selection and scans end to end: the engine and its QML on the
// broadcast engine stand-in, keys from the launcher stand-in.

#include "BroadcastSim.h"
#include "ISDBtDataManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ThresholdItem.h"
#include "TuningRig.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QVariant>

using namespace tuning_test;

namespace {

ISDBtDataManager* data()
{
    return ISDBtDataManager::getInstance();
}

int stored(TuningRig& rig, const char* key)
{
    QSettings ini(QString::fromStdString(rig.root.path("/home/root/isdbt/settings.ini")), QSettings::IniFormat);
    return ini.value(key, -1).toInt();
}

TEST(TuningEndToEnd, FirstBootPromptsInitialScanShowsProgressAndTunesTheFirstStation)
{
    TuningRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    QSignalSpy initScan(rig.engine.get(), SIGNAL(sendInitScan()));
    QSignalSpy percent(rig.engine.get(), SIGNAL(sendSearchPercent(int)));
    QSignalSpy complete(rig.engine.get(), SIGNAL(sendScanComplete()));
    QSignalSpy change(rig.engine.get(), SIGNAL(sendChangeChannel(int, int, int, int, QString, bool, bool)));
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_FALSE(data()->getInitialized());
    EXPECT_EQ(rig.playerCalls("setChannel("), 0) << "nothing to tune before the first scan";
    QObject* init = rig.engine->qmlChild("initScreen");
    ASSERT_NE(init, nullptr);
    EXPECT_TRUE(waitUntil([&] { return init->property("visible").toBool(); })) << "the initial-scan prompt";

    QObject* player = rig.engine->qmlChild("playerMain");
    ASSERT_NE(player, nullptr);
    rig.launcher->send("key 22");
    ASSERT_TRUE(waitUntil([&] { return initScan.count() == 1; }));
    EXPECT_EQ(rig.playerCalls("search(0"), 1);
    EXPECT_TRUE(waitUntil([&] { return player->property("state").toString() == "Scan"; }));
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 1; }));
    ASSERT_GE(percent.count(), 50);
    EXPECT_EQ(percent.last().at(0).toInt(), 100);
    for (int i = 1; i < percent.count(); ++i)
        EXPECT_GE(percent[i].at(0).toInt(), percent[i - 1].at(0).toInt());
    EXPECT_TRUE(data()->getInitialized());
    EXPECT_EQ(stored(rig, "initialized"), 1);
    EXPECT_EQ(rig.playerCalls("setChLogEpgDb_OpenClose("), 2) << "the home list is backed up";

    // The first station is announced, then tuned by the live-TV screen.
    ASSERT_TRUE(rig.waitTuned());
    ASSERT_GE(change.count(), 1);
    EXPECT_EQ(change[0].at(0).toInt(), 1);
    EXPECT_EQ(change[0].at(2).toInt(), 20);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
    EXPECT_EQ(data()->getCurrChannelNumber(), 20);
    EXPECT_EQ(data()->getCurrStationIndex(), 0);
    EXPECT_EQ(data()->getCurrChName(), QString("TV Aurora HD"));
    EXPECT_EQ(rig.engine->getCurrAvailSegType(), 2);
    EXPECT_TRUE(rig.engine->getStartServiceDone());
    EXPECT_EQ(stored(rig, "driveRemoconID"), 1);
    EXPECT_TRUE(waitUntil([&] { return player->property("state").toString() == "Normal"; }));
    EXPECT_FALSE(init->property("visible").toBool());
}

TEST(TuningEndToEnd, ChannelUpTunesTheNextStationAHundredMillisecondsAfterTheBanner)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    QElapsedTimer clock;
    qint64 announcedAt = -1, tunedAt = -1;
    QObject::connect(rig.engine.get(), &ISDBtAppEngine::sendChangeChannel,
                     [&](int, int, int, int, QString, bool, bool) { announcedAt = clock.elapsed(); });
    QObject::connect(rig.engine.get(), &ISDBtAppEngine::sendStartChannel, [&](bool) { tunedAt = clock.elapsed(); });
    clock.start();
    bsim::clearCalls();

    rig.launcher->send("key 14");
    ASSERT_TRUE(rig.waitCalls("setChannel(", 1));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrStationIndex(), 1);
    ASSERT_GE(announcedAt, 0);
    ASSERT_GE(tunedAt, 0);
    EXPECT_GE(tunedAt - announcedAt, 90) << "the second step waits for the banner's 100 ms";

    // Three presses within 100 ms: each announcement from the unchanged
    // station index, one tune, one row on.
    bsim::clearCalls();
    QSignalSpy change(rig.engine.get(), SIGNAL(sendChangeChannel(int, int, int, int, QString, bool, bool)));
    rig.engine->execNextChannel();
    rig.engine->execNextChannel();
    rig.engine->execNextChannel();
    ASSERT_EQ(change.count(), 3);
    for (const QList<QVariant>& c : change) {
        EXPECT_EQ(c.at(0).toInt(), 4);
        EXPECT_EQ(c.at(1).toInt(), 2);
        EXPECT_TRUE(c.at(6).toBool());
    }
    ASSERT_TRUE(rig.waitCalls("setChannel(", 1));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrDispSubChannel(), 2);
    EXPECT_EQ(data()->getCurrChName(), QString("Horizonte Noticias"));

    // Previous from row 0 wraps to the last row.
    bsim::clearCalls();
    rig.launcher->send("key 15");
    rig.launcher->send("key 15");
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrStationIndex() == 1; }));
    ASSERT_TRUE(rig.waitTuned());
    rig.engine->selectPrevStation();
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrStationIndex(), 0);
    rig.engine->selectPrevStation();
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrRemoconID() == 5; }));
    EXPECT_EQ(data()->getCurrStationIndex(), 3);
}

TEST(TuningEndToEnd, NumberKeyWithoutAChannelShowsTheToastAndDoesNotTune)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    QObject* toast = rig.engine->qmlChild("systemToast");
    ASSERT_NE(toast, nullptr);
    bsim::clearCalls();

    rig.launcher->send("key 8");  // NUM_9: no station 9
    ASSERT_TRUE(waitUntil([&] { return !toast->property("messages").toStringList().isEmpty(); }));
    // A number that exists tunes: the one tune seen is this one.
    rig.launcher->send("key 4");  // NUM_5
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrRemoconID() == 5; }));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(rig.engine->getCurrAvailSegType(), 0);

    // The same number again moves to the station's next sub-channel when it
    // has one; R5 has none, so nothing is tuned.
    EXPECT_EQ(rig.engine->findAvailableOtherSubChannel(5, 1), -1);
    rig.engine->execChangeChannel(4, 1);
    ASSERT_TRUE(rig.waitCalls("setChannel(", 2));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.engine->findAvailableOtherSubChannel(4, 1), 2);
}

TEST(TuningEndToEnd, RequestsWhileTuningIsBusyAreBufferedAndOnlyTheLastOneIsReplayed)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    bsim::clearCalls();

    // A handover the player will not cancel holds tuning.
    bsim::setResult("stopHandover", -1);
    rig.engine->execStationSearch();
    ASSERT_TRUE(rig.engine->handoverTimerActive());
    EXPECT_EQ(rig.engine->changeChannel(4, 1), -2);
    EXPECT_EQ(rig.engine->changeChannel(5, 1), -2);
    EXPECT_TRUE(rig.engine->bufferedRequest());
    EXPECT_EQ(rig.playerCalls("setChannel("), 0);

    // The handover completes on the relay; the last request is tuned then.
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrRemoconID() == 5; }));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_FALSE(rig.engine->bufferedRequest());
}

TEST(TuningEndToEnd, FaultsAreHandledWithoutLosingTheCurrentChannel)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    const int segBefore = data()->getCurrSegType();

    // A tune the player fails keeps the previous channel and its state.
    bsim::setResult("setChannel", -1);
    QSignalSpy fail(rig.engine.get(), SIGNAL(sendChangeChannelFail()));
    QSignalSpy done(rig.engine.get(), SIGNAL(notifyStartServiceDoneChanged(bool)));
    EXPECT_EQ(rig.engine->changeChannel(5, 1), -1);
    EXPECT_EQ(fail.count(), 1);
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
    EXPECT_EQ(data()->getCurrSegType(), segBefore);
    EXPECT_EQ(stored(rig, "driveRemoconID"), 1);
    EXPECT_TRUE(rig.engine->enableSetChannel());
    EXPECT_TRUE(rig.engine->isPolling()) << "the poll of the playing channel goes on";
    bsim::clearResults();

    // An emergency service id below 1 names no service, but the warning
    // still stands: nothing is tuned, the watched full-seg service gets the
    // warning's fixed full-seg mode (full-seg priority) and the notice shows.
    QSignalSpy ews(rig.engine.get(), SIGNAL(sendEwsNotifyMessage(QString)));
    data()->setSegMode(2);
    bsim::clearCalls();
    rig.engine->startEWS(0);
    EXPECT_EQ(ews.count(), 1);
    EXPECT_EQ(data()->getSegMode(), 4);
    EXPECT_EQ(rig.playerCalls("setChannel("), 0);
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
    EXPECT_EQ(data()->getCurrSegType(), 0);

    // A station search the player refuses leaves no timer and keeps polling.
    bsim::setResult("startHandover", -1);
    QSignalSpy started(rig.engine.get(), SIGNAL(sendStartSearch()));
    rig.engine->execStationSearch();
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(rig.engine->handoverTimerActive());
    EXPECT_TRUE(rig.engine->isPolling());
    EXPECT_TRUE(rig.engine->enableSetChannel());
    bsim::clearResults();

    // A scan the player refuses restores tuning and the service; the power
    // key still powers off.
    bsim::clearCalls();
    bsim::setResult("search", -1);
    QSignalSpy scan(rig.engine.get(), SIGNAL(sendStartScan()));
    QSignalSpy stop(rig.engine.get(), SIGNAL(sendStopScan()));
    rig.engine->execScan(false);
    EXPECT_EQ(scan.count(), 0);
    EXPECT_EQ(stop.count(), 1);
    EXPECT_TRUE(rig.engine->enableSetChannel());
    bsim::clearResults();
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChannel("), 1) << "the current channel again";
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
    rig.engine->execPower();
    EXPECT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
}

TEST(TuningEndToEnd, CancellingAHandoverForAUserTuneTunesOnce)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    QSignalSpy started(rig.engine.get(), SIGNAL(sendStartSearch()));
    rig.engine->execStationSearch();
    ASSERT_EQ(started.count(), 1);
    ASSERT_TRUE(KvrOzbFSegPlayer::getInstance()->m_bHandover);
    bsim::clearCalls();
    EXPECT_EQ(rig.engine->changeChannel(4, 1), 0);
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("stopHandover("), 1);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_FALSE(rig.engine->handoverTimerActive());
}

TEST(TuningEndToEnd, ScanStopAndRescanAndHomeListRestore)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    rig.launcher->send("key 14");
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrRemoconID() == 4; }));
    ASSERT_TRUE(rig.waitTuned());

    // An additional scan returns to the watched channel.
    QSignalSpy additional(rig.engine.get(), SIGNAL(sendAdditionalScan()));
    QSignalSpy complete(rig.engine.get(), SIGNAL(sendScanComplete()));
    bsim::clearCalls();
    rig.engine->execAdditionalScan(false);
    EXPECT_EQ(additional.count(), 1);
    EXPECT_FALSE(rig.engine->isPolling());
    rig.engine->execStopScan(0);  // not a full scan: nothing stops
    EXPECT_EQ(rig.playerCalls("searchCancel("), 0);
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 1; }));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrRemoconID(), 4);

    // A refresh scan stopped by the user completes and tunes the first station.
    QSignalSpy refresh(rig.engine.get(), SIGNAL(sendRefreshScan()));
    rig.engine->execScan(true);
    EXPECT_EQ(refresh.count(), 1);
    rig.engine->execStopScan();
    EXPECT_EQ(rig.playerCalls("searchCancel("), 1);
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 2; }));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrRemoconID(), 1);

    // The home list: restored and the remembered channel tuned again; a
    // second request within 500 ms is ignored.
    bsim::clearCalls();
    rig.engine->execHomeList();
    rig.engine->execHomeList();
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChLogEpgDb_OpenClose(0"), 1);
}

TEST(TuningEndToEnd, AScanStartedWhileTheLastCompletionIsPendingCancelsThatCompletion)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    QSignalSpy complete(rig.engine.get(), SIGNAL(sendScanComplete()));
    QSignalSpy start(rig.engine.get(), SIGNAL(sendStartScan()));
    rig.engine->execScan(false);
    ASSERT_TRUE(waitUntil([&] { return rig.engine->scanCompletePending(); }));
    rig.engine->execScan(false);
    EXPECT_EQ(start.count(), 2);
    EXPECT_FALSE(rig.engine->scanCompletePending());
    ASSERT_TRUE(waitUntil([&] { return complete.count() == 1; }));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(complete.count(), 1) << "one completion for two scans";
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
}

TEST(TuningEndToEnd, EngineeringThresholdSettersStoreOnlyChangedValues)
{
    TuningRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ThresholdItem* th = ThresholdItem::getInstance();
    QSignalSpy level(th, SIGNAL(notifyCnrLevelAuto1toFChanged(float)));
    QSignalSpy count(th, SIGNAL(notifyCountOpFAutoFto1Changed(int)));
    EXPECT_FLOAT_EQ(th->getCnrLevelAuto1toF(), 15.5f);
    rig.engine->setEngAuto1toF(0, 160);
    rig.engine->setEngAuto1toF(0, 160);
    EXPECT_FLOAT_EQ(th->getCnrLevelAuto1toF(), 16.0f);
    EXPECT_EQ(level.count(), 1);
    rig.engine->setEngOpFAutoFto1(2, 7);
    rig.engine->setEngOpFAutoFto1(2, 7);
    rig.engine->setEngOpFAutoFto1(3, 9);  // no such field
    EXPECT_EQ(th->getCountOpFAutoFto1(), 7);
    EXPECT_EQ(count.count(), 1);
    rig.engine->setEngOp1AutoFto1(1, 4);
    EXPECT_EQ(th->getPeriodOp1AutoFto1(), 4);
    rig.engine->setEngAutoFto1(0, 1);
    EXPECT_EQ(th->getPerSignAutoFto1(), 1);
}

TEST(TuningEndToEnd, MissingServicesFallBackToSubChannelOneAndToTheOtherSegment)
{
    TuningRig rig;
    ASSERT_TRUE(rig.initialScan());
    QSignalSpy notify(rig.engine.get(), SIGNAL(sendNotifyMesssage(QString)));

    // 5-2 does not exist: 5-1 is tuned.
    EXPECT_EQ(rig.engine->changeChannel(5, 2), 0);
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrRemoconID(), 5);
    EXPECT_EQ(data()->getCurrDispSubChannel(), 1);
    EXPECT_TRUE(rig.engine->isCurrentChannel(5, 1));
    EXPECT_FALSE(rig.engine->isCurrentChannel(5, 2));
    EXPECT_EQ(notify.count(), 0);

    // Fixed one-seg on a full-seg-only channel: full-seg, with the notice.
    rig.engine->execSegModeChange(1);
    ASSERT_EQ(data()->getSegMode(), 1);
    EXPECT_EQ(rig.engine->changeChannel(1, 1), 0);
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrSegType(), 1) << "R1 has its one-seg service";
    EXPECT_EQ(notify.count(), 0);
    EXPECT_EQ(rig.engine->changeChannel(5, 1), 0);
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrSegType(), 0);
    EXPECT_EQ(notify.count(), 1);

    // No service at all: refused with the failure signal.
    QSignalSpy fail(rig.engine.get(), SIGNAL(sendChangeChannelFail()));
    EXPECT_EQ(rig.engine->changeChannel(9, 1), -1);
    EXPECT_EQ(fail.count(), 1);
    EXPECT_EQ(rig.engine->changeChannel(0, 1), -1);
    EXPECT_EQ(data()->getCurrRemoconID(), 5);
}

TEST(TuningEndToEnd, ChannelInfoClockRunsFreeWithoutChannelsAndFollowsTheBroadcastWithThem)
{
    TuningRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    // No channels yet: the clock counts on by itself, past midnight too.
    ASSERT_EQ(data()->getCurrChannelListCnt(), 0);
    rig.engine->setClock(60000, 86399);
    rig.engine->channelInfoUpdateTimerHandler();
    EXPECT_EQ(rig.engine->clockDate(), 60001);
    EXPECT_EQ(rig.engine->clockSeconds(), 0);
    EXPECT_EQ(data()->getCurrStrTime(), QString("00:00"));
    // A date from a stream without time is not published.
    rig.engine->setClock(51000, 100);
    data()->setCurrStrTime(QString("--"));
    rig.engine->channelInfoUpdateTimerHandler();
    EXPECT_EQ(data()->getCurrStrTime(), QString("--"));

    // With channels it takes the broadcast time (the stand-in's is now).
    ASSERT_TRUE(rig.initialScan());
    rig.engine->setClock(0, 0);
    rig.engine->channelInfoUpdateTimerHandler();
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 expected = (now.date().toJulianDay() - 2400001) * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    const qint64 clock = static_cast<qint64>(rig.engine->clockDate()) * 86400 + rig.engine->clockSeconds();
    EXPECT_NEAR(static_cast<double>(clock), static_cast<double>(expected), 5.0);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    tuning_test::guiApp();
    return RUN_ALL_TESTS();
}
