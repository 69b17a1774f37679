// Reception monitoring, segment switching, station search and the emergency
// switch end to end: scripted reception profiles on the broadcast stand-in,
// whose profile clock the tests step by hand.

#include "BroadcastSim.h"
#include "ISDBtDataManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ThresholdItem.h"
#include "TuningRig.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QVariant>

#include <chrono>
#include <string>
#include <vector>

using namespace tuning_test;

namespace {

ISDBtDataManager* data()
{
    return ISDBtDataManager::getInstance();
}

std::string signalLine(int atMs, double cnr, int errA, int errB)
{
    const int tot = static_cast<int>(cnr * 100);
    return "signal " + std::to_string(atMs) + " cnr=" + std::to_string(cnr) + " tot=" + std::to_string(tot) +
           " oneseg=" + std::to_string(tot) + " b0=" + std::to_string(tot) + " b1=" + std::to_string(tot) +
           " b2=" + std::to_string(tot) + " b3=" + std::to_string(tot) + " errA=" + std::to_string(errA) +
           " totA=1000 errB=" + std::to_string(errB) + " totB=1000\n";
}

RigOptions profile(const std::string& settings, const std::string& signal)
{
    RigOptions o;
    o.settings = "initialized=0\npowerOn=1\nmode=1\nbackgroundSearch=0\n" + settings;
    o.scenarioExtra = signal;
    o.frozenClock = true;
    return o;
}

// Calls named `name` in the stand-in's record, from index `from` on, until the
// first call starting with `until` (or the end).
int countCalls(const std::vector<std::string>& calls, const std::string& name, size_t from,
               const std::string& until, size_t* untilAt = nullptr)
{
    int n = 0;
    for (size_t i = from; i < calls.size(); ++i) {
        if (!until.empty() && calls[i].compare(0, until.size(), until) == 0) {
            if (untilAt)
                *untilAt = i;
            return n;
        }
        n += calls[i].compare(0, name.size(), name) == 0 ? 1 : 0;
    }
    if (untilAt)
        *untilAt = calls.size();
    return n;
}

void setSegMode(TuningRig& rig, int mode);

TEST(ReceptionEndToEnd, AutoModeSwitchesToOneSegOnLayerBErrorsAndBackOnGoodCnr)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0) + signalLine(5000, 24.0, 0, 30)));
    QSignalSpy weak(rig.engine.get(), SIGNAL(sendSignalWeak(bool)));
    ASSERT_TRUE(rig.initialScan());
    setSegMode(rig, 2);
    EXPECT_EQ(data()->getCurrSegType(), 0);
    EXPECT_EQ(rig.engine->getCurrAvailSegType(), 2);
    // The engineering screen follows the window counts of both directions.
    rig.engine->setEngScreenStatus(true);
    ThresholdItem* threshold = ThresholdItem::getInstance();
    QSignalSpy countFto1(threshold, SIGNAL(notifyExceededCountAutoFto1Changed(int)));
    QSignalSpy count1toF(threshold, SIGNAL(notifyExceededCountAuto1toFChanged(int)));
    ASSERT_TRUE(waitUntil([&] { return weak.count() == 1; }));
    EXPECT_FALSE(weak[0].at(0).toBool()) << "good reception is announced";
    // A full window of error-free samples first.
    ASSERT_TRUE(rig.waitCalls("getSignalStrength(", 15));
    bsim::clearCalls();
    bsim::advanceClock(std::chrono::milliseconds(5000));
    ASSERT_TRUE(rig.waitCalls("setDualChannel(1", 1));
    std::vector<std::string> calls = bsim::calls();
    size_t at = 0;
    // Five of the last ten samples with errors: the fifth erroneous one.
    EXPECT_EQ(countCalls(calls, "getSignalStrength(", 0, "setDualChannel(1", &at), 5);
    EXPECT_EQ(data()->getCurrSegType(), 1);
    // Announced once per change: one erroneous sample more on each.
    ASSERT_GE(countFto1.count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(countFto1[i].at(0).toInt(), i + 1);
    EXPECT_EQ(count1toF.count(), 0) << "the other direction stays 0";

    // One-seg with a good CNR: back after 25 samples at or above 15.5 dB (and
    // the discarded first read of the new run).
    ASSERT_TRUE(rig.waitCalls("setDualChannel(0", 1));
    calls = bsim::calls();
    EXPECT_EQ(countCalls(calls, "getSignalStrength(", at, "setDualChannel(0"), 26);
    EXPECT_EQ(data()->getCurrSegType(), 0);
    // On one-seg the good-CNR count, published from the tenth sample on, ran
    // up to the threshold's 25, and the full-seg to one-seg count went back
    // to 0 with that first publication.
    ASSERT_GE(count1toF.count(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(count1toF[i].at(0).toInt(), i + 10);
    ASSERT_GE(countFto1.count(), 6);
    EXPECT_EQ(countFto1[5].at(0).toInt(), 0);
}

// Modes 0 and 2 exist only while the program runs (a stored one loads as 4).
void setSegMode(TuningRig& rig, int mode)
{
    rig.engine->execSegModeChange(mode);
    ASSERT_EQ(data()->getSegMode(), mode);
    ASSERT_TRUE(rig.waitTuned());
}

void fixedModeNeverSwitches(int mode)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0) + signalLine(1000, 24.0, 0, 30)));
    ASSERT_TRUE(rig.initialScan());
    setSegMode(rig, mode);
    EXPECT_EQ(data()->getCurrSegType(), mode);
    bsim::clearCalls();
    bsim::advanceClock(std::chrono::milliseconds(1000));
    ASSERT_TRUE(rig.waitCalls("getSignalStrength(", 40));
    EXPECT_EQ(rig.playerCalls("setDualChannel("), 0);
    EXPECT_EQ(data()->getCurrSegType(), mode);
}

TEST(ReceptionEndToEnd, FixedFullSegNeverSwitches)
{
    fixedModeNeverSwitches(0);
}

TEST(ReceptionEndToEnd, FixedOneSegNeverSwitches)
{
    fixedModeNeverSwitches(1);
}

TEST(ReceptionEndToEnd, WeakReceptionStartsTheStationSearchAfterTheSetTimeAndTakesOverTheRelay)
{
    TuningRig rig(profile("segMode=4\nstationSearchTime=1\n", signalLine(0, 24.0, 0, 0) + signalLine(3000, 2.0, 0, 0)));
    QSignalSpy weak(rig.engine.get(), SIGNAL(sendSignalWeak(bool)));
    QSignalSpy start(rig.engine.get(), SIGNAL(sendStartSearch()));
    QSignalSpy end(rig.engine.get(), SIGNAL(sendEndSearch(bool)));
    QSignalSpy handoverChannel(rig.engine.get(), SIGNAL(sendHandoverChannel(int, int)));
    ASSERT_TRUE(rig.initialScan());
    rig.engine->setMainState("ISDBtPlayerMain");
    ASSERT_TRUE(waitUntil([&] { return weak.count() == 1; }));
    QElapsedTimer clock;
    qint64 weakAt = -1, searchAt = -1;
    QObject::connect(rig.engine.get(), &ISDBtAppEngine::sendSignalWeak, [&](bool w) {
        if (w)
            weakAt = clock.elapsed();
    });
    QObject::connect(rig.engine.get(), &ISDBtAppEngine::sendStartSearch, [&] { searchAt = clock.elapsed(); });
    clock.start();
    bsim::advanceClock(std::chrono::milliseconds(3000));

    ASSERT_TRUE(waitUntil([&] { return end.count() == 1; }));
    ASSERT_GE(weakAt, 0);
    ASSERT_GE(searchAt, 0);
    EXPECT_GE(searchAt - weakAt, 950) << "the search waits for the weak-reception time";
    EXPECT_EQ(start.count(), 1);
    EXPECT_TRUE(end[0].at(0).toBool());
    ASSERT_GE(handoverChannel.count(), 1);
    EXPECT_EQ(handoverChannel[0].at(1).toInt(), 34);
    EXPECT_EQ(data()->getCurrChannelNumber(), 34) << "the relay station is taken over";
    EXPECT_EQ(data()->getCurrServiceID(), 0xe100);
    EXPECT_EQ(data()->getCurrRemoconID(), 1);
    EXPECT_FALSE(rig.engine->handoverTimerActive());
    EXPECT_TRUE(rig.engine->isPolling());
}

TEST(ReceptionEndToEnd, TheBackgroundSearchSwitchesToTheRelayItFoundOnTheSecondStream)
{
    TuningRig rig(profile("backgroundSearch=1\n", signalLine(0, 24.0, 0, 0)));
    QSignalSpy start2ts(rig.engine.get(), SIGNAL(sendStartSearch2TS()));
    QSignalSpy result(rig.engine.get(), SIGNAL(sendHandoverResult(int)));
    ASSERT_TRUE(rig.initialScan());
    // The stand-in reports the relay it sees on the second stream; the next
    // evaluated poll starts the two-stream search.
    ASSERT_TRUE(waitUntil([&] { return result.count() >= 1; }));
    EXPECT_EQ(start2ts.count(), 1);
    EXPECT_EQ(result[0].at(0).toInt(), 0);
    EXPECT_EQ(rig.playerCalls("startHandover2TS("), 1);
    ASSERT_TRUE(waitUntil([&] { return data()->getCurrChannelNumber() == 34; }));
    EXPECT_EQ(data()->getCurrServiceID(), 0xe100);
    ASSERT_TRUE(rig.waitTuned());
}

TEST(ReceptionEndToEnd, ASearchThatOutlivesItsTimerIsCancelledAndTheChannelTunedAgain)
{
    RigOptions o = profile("", signalLine(0, 24.0, 0, 0));
    o.scenarioExtra += "timing prepare=50 scan_step=4 tune=60 handover=600000 epg_refresh=0\n";
    TuningRig rig(o);
    ASSERT_TRUE(rig.initialScan());
    rig.engine->execStationSearch();
    ASSERT_TRUE(rig.engine->handoverTimerActive());
    EXPECT_EQ(rig.engine->handoverTimerInterval(), 180000);
    bsim::clearCalls();

    // The handover timer fires: the search is cancelled and the channel
    // watched before is tuned again, once.
    rig.engine->expireHandoverTimer();
    EXPECT_EQ(rig.playerCalls("stopHandover("), 1);
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 1);

    // With no search left the timer re-arms itself for a minute.
    rig.engine->expireHandoverTimer();
    EXPECT_TRUE(rig.engine->handoverTimerActive());
    EXPECT_EQ(rig.engine->handoverTimerInterval(), 60000);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
}

TEST(ReceptionEndToEnd, AnEventRelayTunesTheServiceTheEventMovedTo)
{
    TuningRig rig(profile("EventRelay=1\n", signalLine(0, 24.0, 0, 0)));
    QSignalSpy start(rig.engine.get(), SIGNAL(sendStartChannel(bool)));
    ASSERT_TRUE(rig.initialScan());
    bsim::clearCalls();
    start.clear();
    // To sub-channel 2 of R4, which has no one-seg service of its own.
    ASSERT_TRUE(bsim::injectEvent(39, 0, 0, {0xe201, 7, 0x7f20, 0x7f20}));
    ASSERT_TRUE(waitUntil([&] { return start.count() == 1; }));
    EXPECT_TRUE(start[0].at(0).toBool());
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrDispSubChannel(), 2);
    EXPECT_EQ(data()->getCurrServiceID(), 0xe201);
    EXPECT_EQ(rig.engine->getCurrAvailSegType(), 2) << "sub-channel 1's one-seg service";
    EXPECT_EQ(rig.playerCalls("stop("), 1);
}

TEST(ReceptionEndToEnd, WithoutASearchTimeWeakReceptionStartsNoSearch)
{
    TuningRig rig(profile("segMode=4\nstationSearchTime=0\n", signalLine(0, 2.0, 0, 0)));
    QSignalSpy weak(rig.engine.get(), SIGNAL(sendSignalWeak(bool)));
    ASSERT_TRUE(rig.initialScan());
    rig.engine->setMainState("ISDBtPlayerMain");
    ASSERT_TRUE(waitUntil([&] { return weak.count() == 1; }));
    EXPECT_TRUE(weak[0].at(0).toBool());
    bsim::clearCalls();
    ASSERT_TRUE(rig.waitCalls("getSignalStrength(", 20));
    EXPECT_EQ(rig.playerCalls("startHandover("), 0);
    EXPECT_FALSE(rig.engine->searchStartTimerActive());
    // The user still can.
    rig.engine->execStationSearch();
    EXPECT_EQ(rig.playerCalls("startHandover("), 1);
}

TEST(ReceptionEndToEnd, AnEmergencyEventBringsItsServiceOn)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0)));
    QSignalSpy ews(rig.engine.get(), SIGNAL(sendEwsNotifyMessage(QString)));
    ASSERT_TRUE(rig.initialScan());
    setSegMode(rig, 2);
    QObject* player = rig.engine->qmlChild("playerMain");
    ASSERT_NE(player, nullptr);

    // On the watched full-seg service: full-seg priority and the notice only.
    bsim::clearCalls();
    ASSERT_TRUE(bsim::injectEvent(33, 1, 0, {0xe100, 1, 0, 0}));
    ASSERT_TRUE(waitUntil([&] { return ews.count() == 1; }));
    EXPECT_EQ(data()->getSegMode(), 4);
    EXPECT_EQ(rig.playerCalls("setChannel("), 0);
    EXPECT_TRUE(waitUntil([&] { return player->property("ewsShowMassage").toBool(); }));

    // On the one-seg service of another channel: tuned there, fixed one-seg.
    ASSERT_TRUE(bsim::injectEvent(33, 1, 0, {0xe218, 1, 0, 0}));
    ASSERT_TRUE(waitUntil([&] { return ews.count() == 2; }));
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrSegType(), 1);
    EXPECT_EQ(data()->getSegMode(), 1);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);

    // When that tune fails the mode stays and the notice still shows.
    bsim::setResult("setChannel", -1);
    ASSERT_TRUE(bsim::injectEvent(33, 1, 0, {0xe300, 1, 0, 0}));
    ASSERT_TRUE(waitUntil([&] { return ews.count() == 3; }));
    EXPECT_EQ(data()->getSegMode(), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
}

TEST(ReceptionEndToEnd, ATuneResetsTheAudioChoiceClearsTheCaptionArmsTheWatchdogAndLogosComeOnce)
{
    // The last station of the base scenario (channel 27) broadcasts a logo.
    TuningRig rig(profile("", "  logo 8 4\n" + signalLine(0, 24.0, 0, 0)));
    QSignalSpy logos(rig.engine.get(), SIGNAL(sendChannelLogoUpdated(int, int)));
    EXPECT_FALSE(rig.engine->stationLogosFetched());
    ASSERT_TRUE(rig.initialScan());
    // The scan's completion asks for the logos of the full-seg services.
    EXPECT_TRUE(rig.engine->stationLogosFetched());
    ASSERT_TRUE(waitUntil([&] { return logos.count() == 1; }));
    EXPECT_EQ(logos[0].at(0).toInt(), 27);
    EXPECT_EQ(logos[0].at(1).toInt(), 0x7f30);
    EXPECT_TRUE(rig.engine->videoErrorWatchdogActive()) << "armed by the completed first tune";

    data()->setCurrAudioIndex(1);
    QSignalSpy caption(rig.engine.get(), SIGNAL(sendSubtitleUpdate()));
    rig.engine->stopCheckVideoError();
    bsim::clearCalls();
    rig.engine->execNextChannel();
    ASSERT_TRUE(rig.waitCalls("setChannel(", 1));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrAudioIndex(), 0) << "the second audio of the previous service is not kept";
    EXPECT_GE(caption.count(), 1) << "the previous service's caption is cleared";
    EXPECT_TRUE(rig.engine->videoErrorWatchdogActive());

    // Logos already asked for are not asked for again at the next service start.
    const int logosBefore = logos.count();
    bsim::clearCalls();
    rig.engine->startService(false);
    ASSERT_TRUE(rig.waitCalls("setChannel(", 1));
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(logos.count(), logosBefore);
}

TEST(ReceptionEndToEnd, SegmentModeChangesShowTheirToast)
{
    TuningRig rig(profile("segMode=4\n", signalLine(0, 24.0, 0, 0)));
    ASSERT_TRUE(rig.initialScan());
    QSignalSpy toast(rig.engine.get(), SIGNAL(sendSettingInfoMesssage(QString)));
    // 4 steps to 1, then 1 to 3.
    rig.engine->execSegModeChange(-1);
    ASSERT_EQ(toast.count(), 1);
    EXPECT_EQ(data()->getSegMode(), 1);
    EXPECT_EQ(toast[0].at(0).toString(), QCoreApplication::translate("StringInfo", "STR_FIXED_1SEG"));
    rig.engine->execSegModeChange(-1);
    ASSERT_EQ(toast.count(), 2);
    EXPECT_EQ(toast[1].at(0).toString(), QCoreApplication::translate("StringInfo", "STR_AUTO_1SEG_PRIORITY"));
}

TEST(ReceptionEndToEnd, EnteringTheGuideStopsARunningStationSearch)
{
    RigOptions o = profile("", signalLine(0, 24.0, 0, 0));
    o.scenarioExtra += "timing prepare=50 scan_step=4 tune=60 handover=600000 epg_refresh=0\n";
    TuningRig rig(o);
    ASSERT_TRUE(rig.initialScan());
    rig.engine->execStationSearch();
    ASSERT_TRUE(rig.engine->handoverTimerActive());
    QSignalSpy stopped(rig.engine.get(), SIGNAL(sendStopSearch()));
    QSignalSpy entered(rig.engine.get(), SIGNAL(sendEnterEpgScreen()));
    bsim::clearCalls();
    rig.engine->execEnterEpgScreen();
    EXPECT_EQ(rig.playerCalls("stopHandover("), 1);
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_FALSE(rig.engine->handoverTimerActive());
    EXPECT_TRUE(rig.engine->enableSetChannel());
    EXPECT_EQ(entered.count(), 1);

    // Without a search, entering the guide cancels nothing.
    bsim::clearCalls();
    rig.engine->execEnterEpgScreen();
    EXPECT_EQ(rig.playerCalls("stopHandover("), 0);
    EXPECT_EQ(entered.count(), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    tuning_test::guiApp();
    return RUN_ALL_TESTS();
}

namespace {

QVariant qmlProperty(TuningRig& rig, const char* object, const char* property)
{
    QObject* o = rig.engine->qmlChild(object);
    return o != nullptr ? o->property(property) : QVariant();
}

bool liveTvShows(TuningRig& rig, const char* state, bool weakSignal)
{
    return qmlProperty(rig, "playerMain", "state").toString() == QLatin1String(state) &&
           qmlProperty(rig, "playerMain", "weakSignal").toBool() == weakSignal;
}

}  // namespace

// A search holds the channel change open until it ends, which the power key
// waited for (up to the handover timer's three minutes, keys refused).
TEST(ReceptionEndToEnd, PowerKeyDuringAStationSearchCancelsItAndPowersOffAtOnce)
{
    RigOptions o = profile("", signalLine(0, 24.0, 0, 0));
    o.scenarioExtra += "timing prepare=50 scan_step=4 tune=60 handover=600000 epg_refresh=0\n";
    TuningRig rig(o);
    ASSERT_TRUE(rig.initialScan());
    rig.engine->execStationSearch();
    ASSERT_TRUE(rig.engine->handoverTimerActive());
    QSignalSpy stopped(rig.engine.get(), SIGNAL(sendStopSearch()));
    bsim::clearCalls();

    rig.engine->execPower();
    EXPECT_EQ(rig.playerCalls("stopHandover("), 1);
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released) << "not left to the search's end";
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_FALSE(rig.engine->handoverTimerActive());

    // The next power key is heard again.
    rig.engine->execPower();
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    EXPECT_TRUE(rig.engine->getAppPowerOn());
}

// The power-offs that wait for a station search or a scan to end.
TEST(ReceptionEndToEnd, PowerOffAfterASearchComesWithItsEndOrAtOnceWhenCancelled)
{
    RigOptions o = profile("", signalLine(0, 24.0, 0, 0));
    o.scenarioExtra += "timing prepare=50 scan_step=4 tune=60 handover=600000 epg_refresh=0\n";
    TuningRig rig(o);
    ASSERT_TRUE(rig.initialScan());

    // The player refuses the cancel: the power-off waits for the search's
    // end, and the power key is not heard meanwhile.
    rig.engine->execStationSearch();
    bsim::setResult("stopHandover", -1);
    rig.engine->stopSearchAndPowerOff();
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Prepared);
    EXPECT_TRUE(rig.engine->handoverTimerActive()) << "the cancel is tried again later";
    rig.engine->execPower();
    EXPECT_TRUE(rig.engine->getAppPowerOn());
    bsim::clearResults();
    // The search ends on the relay station.
    ASSERT_TRUE(bsim::injectEvent(48, 0, 0, {34, 0x7f10, 0xe100, 0xe118, 0, 0, 0}));
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    EXPECT_FALSE(rig.engine->getAppPowerOn());

    // Cancelled: at once.
    rig.engine->execPower();
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ASSERT_TRUE(rig.waitTuned());
    rig.engine->execStationSearch();
    QSignalSpy stopped(rig.engine.get(), SIGNAL(sendStopSearch()));
    rig.engine->stopSearchAndPowerOff();
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
    EXPECT_FALSE(rig.engine->handoverTimerActive());
}

TEST(ReceptionEndToEnd, PowerOffAfterAScanComesWithItsCompletion)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0)));
    ASSERT_TRUE(rig.initialScan());
    QSignalSpy complete(rig.engine.get(), SIGNAL(sendScanComplete()));
    rig.engine->execScan(false);
    rig.engine->stopScanAndPowerOff();
    EXPECT_EQ(rig.playerCalls("searchCancel("), 1);
    EXPECT_TRUE(rig.engine->getAppPowerOn()) << "the completion powers off";
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    EXPECT_FALSE(rig.engine->getAppPowerOn());
    EXPECT_EQ(complete.count(), 0) << "no scan completion after the power-off";
}

// Every power-on makes a new player, which searches the second stream unless
// told otherwise: the stored choice must reach it before its first tune.
TEST(ReceptionEndToEnd, StoredBackgroundSearchOffReachesEachNewPlayerBeforeItsFirstTune)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0)));  // backgroundSearch=0
    ASSERT_TRUE(rig.initialScan());
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        if (run == 1) {
            rig.engine->execPower();
            ASSERT_EQ(rig.engine->getOzbState(), ISDBtAppEngine::Released);
            bsim::clearCalls();
            rig.engine->execPower();
            ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
            ASSERT_TRUE(rig.waitTuned());
        }
        const std::vector<std::string> calls = bsim::calls();
        auto first = [&](const std::string& prefix, size_t from) {
            for (size_t i = from; i < calls.size(); ++i)
                if (calls[i].compare(0, prefix.size(), prefix) == 0)
                    return i;
            return calls.size();
        };
        const size_t listener = first("setListener(", 0);
        const size_t told = first("setBackSearchInfo2TS(", listener);
        const size_t tune = first("setChannel(", listener);
        ASSERT_LT(listener, calls.size());
        ASSERT_LT(told, tune) << "the new player was not told before its first tune";
        EXPECT_EQ(calls[told].compare(0, 23, "setBackSearchInfo2TS(0,"), 0) << calls[told];
    }
}

TEST(ReceptionEndToEnd, AnEmergencyWarningOffTheLiveTvScreenIsTunedAtOnceWithoutAQuestion)
{
    TuningRig rig(profile("", signalLine(0, 24.0, 0, 0)));
    QSignalSpy notice(rig.engine.get(), SIGNAL(sendEwsNotifyMessage(QString)));
    QSignalSpy asked(rig.engine.get(), SIGNAL(sendEwsReceived(int)));
    ASSERT_TRUE(rig.initialScan());
    ASSERT_TRUE(QMetaObject::invokeMethod(rig.engine->qmlRoot(), "setAppMainScreen",
                                          Q_ARG(QVariant, QStringLiteral("ISDBtSetupMain")), Q_ARG(QVariant, true)));
    ASSERT_EQ(rig.engine->currentScreen(), QStringLiteral("ISDBtSetupMain"));
    bsim::clearCalls();

    // A warning on the one-seg service of another channel, behind the
    // settings menu: it is switched to at once. A question would let a "No"
    // or its timeout lose the warning.
    ASSERT_TRUE(bsim::injectEvent(33, 1, 0, {0xe218, 1, 0, 0}));
    ASSERT_TRUE(waitUntil([&] { return notice.count() == 1; }));
    EXPECT_EQ(notice[0].at(0).toString(), QCoreApplication::translate("StringInfo", "STR_SWITCH_EWS_MSG"));
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_EQ(data()->getCurrRemoconID(), 4);
    EXPECT_EQ(data()->getCurrSegType(), 1);
    EXPECT_EQ(data()->getSegMode(), 1);
    EXPECT_EQ(asked.count(), 0);
    EXPECT_FALSE(qmlProperty(rig, "systemPopup", "visible").toBool());
    ASSERT_TRUE(rig.waitTuned());
    EXPECT_EQ(data()->getCurrServiceID(), 0xe218);
}

TEST(ReceptionEndToEnd, TheVideoDefinitionAndARestartedSignalRunEndTheWeakNotice)
{
    TuningRig rig(profile("segMode=4\nstationSearchTime=0\n", signalLine(0, 2.0, 0, 0)));
    QSignalSpy weak(rig.engine.get(), SIGNAL(sendSignalWeak(bool)));
    ASSERT_TRUE(rig.initialScan());
    ASSERT_TRUE(waitUntil([&] { return liveTvShows(rig, "Weak", true); }));

    // The player reports the picture's definition: back to the plain screen.
    ASSERT_TRUE(bsim::injectEvent(10, 0, 0xe100));
    ASSERT_TRUE(waitUntil([&] { return liveTvShows(rig, "Normal", false); }));

    // Still weak: announced again. A segment switch starts a new signal run,
    // which announces weak reception only if it still is; the old notice
    // goes meanwhile.
    ASSERT_TRUE(waitUntil([&] { return liveTvShows(rig, "Weak", true); }));
    const int before = weak.count();
    rig.engine->changeSeg(1, false);
    ASSERT_EQ(data()->getCurrSegType(), 1);
    ASSERT_EQ(weak.count(), before + 1);
    EXPECT_FALSE(weak.last().at(0).toBool());
    EXPECT_TRUE(liveTvShows(rig, "Normal", false));
}
