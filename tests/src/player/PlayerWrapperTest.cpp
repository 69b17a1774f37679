// The player wrapper over the broadcast engine stand-in: lifecycle, scan,
// tune, both handover paths, the handover lock, event dispatch and the
// engine failures the wrapper must pass on.
#include "PlayerFixture.h"

#include "BroadcastSim.h"
#include "ISDBtDataManager.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

bool allOnGuiThread(const std::vector<Signal>& sigs)
{
    return std::all_of(sigs.begin(), sigs.end(), [](const Signal& s) { return s.onGuiThread; });
}

int countCalls(const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : bsim::calls())
        n += c.rfind(prefix, 0) == 0;
    return n;
}

TEST_F(PlayerTest, PrepareAndScanWriteTheListAndReportProgress)
{
    m_player->initialize();
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateCreated);
    m_player->prepare(0x4f7a);
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StatePreparing);
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyPrepared").empty(); }));
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StatePrepared);

    ASSERT_EQ(m_player->scan(0), 0);
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateScanning);
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifySearchComplete").empty(); }));
    EXPECT_TRUE(m_log->named("notifySearchComplete")[0].args[0].toBool());
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateIdle);

    // One progress signal per channel; the count grows with each station found.
    const std::vector<Signal> progress = m_log->named("notifySearchPercent");
    ASSERT_EQ(progress.size(), 56u);
    EXPECT_EQ(progress.back().args[0].toInt(), 100);
    EXPECT_EQ(progress.back().args[1].toInt(), 2);
    EXPECT_EQ(progress[5].args[1].toInt(), 0);   // channel 19: nothing yet
    EXPECT_EQ(progress[6].args[1].toInt(), 1);   // channel 20
    EXPECT_TRUE(allOnGuiThread(m_log->all()));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(bsim::channelDirectory() + "/ISDBT0.db")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(bsim::guideDirectory() + "/ISDBTEPG0.db")));
    EXPECT_GT(rowId(27, 0xe300), 0);

    const std::vector<std::string> calls = bsim::calls();
    const std::vector<std::string> want = {"setListener(1)", "prepare(20346)", "stop()", "search(0,0,0,0,0)"};
    ASSERT_GE(calls.size(), want.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), calls.begin()));
}

TEST_F(PlayerTest, TuneReportsAvStartBeforeVideoOutput)
{
    startAndScan();
    m_log->clear();
    m_player->m_pBilingualInfo->totalAudioPID = 3;
    tune(20, 0xe118, 1);
    EXPECT_EQ(m_player->m_pBilingualInfo->totalAudioPID, 0);  // cleared by the tune
    EXPECT_TRUE(m_player->isChannelSet());
    const QStringList order = m_log->names({"notifyEpgUpdate"});
    ASSERT_GE(order.size(), 3);
    EXPECT_EQ(order.mid(0, 3), (QStringList{"notifyChannelChanged", "notifyVideoOutput", "notifyVideoDefinitionUpdate"}));
    EXPECT_FALSE(m_log->named("notifyChannelChanged")[0].args[0].toBool());
    EXPECT_EQ(m_log->named("notifyVideoOutput")[0].args[0].toInt(), 1);  // one-segment index
    EXPECT_EQ(m_log->named("notifyEpgUpdate")[0].args[0].toInt(), 0xe118);
    EXPECT_TRUE(allOnGuiThread(m_log->all()));
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateVideoOutput);

    // A refused tune leaves the record and the flag but still ends idle.
    m_player->m_pBilingualInfo->totalAudioPID = 2;
    m_player->stop();
    EXPECT_FALSE(m_player->isChannelSet());
    EXPECT_EQ(m_player->setChannel(9999, 0, 0, 0), -1);
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateIdle);
    EXPECT_EQ(m_player->m_pBilingualInfo->totalAudioPID, 2);
    EXPECT_FALSE(m_player->isChannelSet());
}

TEST_F(PlayerTest, StationSearchHandoverEndsWithTheAvStartOnTheRelay)
{
    startAndScan();
    tune(20, 0xe100);
    m_log->clear();
    ASSERT_TRUE(m_player->requestHandover(1));
    EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateHandover);
    {
        QMutexLocker lock(&m_player->m_mutex);
        EXPECT_TRUE(m_player->m_bHandover);
    }
    // A second request neither stops playback nor reaches the engine.
    const int stops = countCalls("stop(");
    EXPECT_FALSE(m_player->requestHandover(1));
    EXPECT_EQ(countCalls("stop("), stops);
    EXPECT_EQ(countCalls("startHandover("), 1);

    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyChannelChanged").empty(); }));
    const QStringList order = m_log->names({"notifyVideoOutput", "notifyVideoDefinitionUpdate", "notifyEpgUpdate",
                                            "notifyChannelUpdate"});
    EXPECT_EQ(order, (QStringList{"notifyHandoverChannel", "notifyHandoverComplete", "notifyChannelChanged"}));
    EXPECT_EQ(m_log->named("notifyHandoverChannel")[0].args, (QVariantList{1, 34}));
    EXPECT_EQ(m_log->named("notifyHandoverComplete")[0].args, (QVariantList{true, 34, 0xe100, 0}));
    EXPECT_TRUE(m_log->named("notifyChannelChanged")[0].args[0].toBool());
    {
        QMutexLocker lock(&m_player->m_mutex);
        EXPECT_FALSE(m_player->m_bHandover);
    }
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyChannelUpdate").empty(); }));
    EXPECT_TRUE(allOnGuiThread(m_log->all()));

    // Cancelling with nothing running is refused without an engine call.
    QMutexLocker lock(&m_player->m_mutex);
    EXPECT_EQ(m_player->cancelHandover(), -2);
    EXPECT_EQ(countCalls("stopHandover"), 0);
}

TEST_F(PlayerTest, TwoStreamHandoverSucceedsOrFailsByTheResultEvent)
{
    startAndScan();
    const struct {
        int channel, serviceID, result;
        QStringList order;
    } cases[] = {
        {20, 0xe100, 0,
         {"notify2TsComparisonStatus", "notify2TsHandoverResult", "notifyHandoverComplete", "notifyChannelChanged",
          "notify2TsComparisonStatus"}},
        {27, 0xe300, -1, {"notify2TsComparisonStatus", "notify2TsHandoverResult", "notify2TsComparisonStatus"}},
    };
    for (const auto& c : cases) {
        tune(c.channel, c.serviceID);
        m_log->clear();
        ASSERT_TRUE(m_player->requestHandover2TS());
        EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateHandover2TS);
        ASSERT_TRUE(bsim::waitIdle());
        ASSERT_TRUE(spinUntil([&] { return m_log->named("notify2TsComparisonStatus").size() == 2; }));
        deliverQueued();
        EXPECT_EQ(m_log->names({"notifyVideoOutput", "notifyVideoDefinitionUpdate", "notifyEpgUpdate",
                                "notifyChannelUpdate"}),
                  c.order)
            << c.channel;
        EXPECT_EQ(m_log->named("notify2TsHandoverResult")[0].args[0].toInt(), c.result);
        QMutexLocker lock(&m_player->m_mutex);
        EXPECT_FALSE(m_player->m_bHandover);
    }
    // The failed search cleared the search counts the engine had reported.
    EXPECT_EQ(m_player->getRelayCount(), 0);
    EXPECT_EQ(m_player->getAffiliationCount(), 0);
}

TEST_F(PlayerTest, CancelHandoverStopsTheKindThatRuns)
{
    bsim::Scenario sc;
    std::string error;
    ASSERT_TRUE(bsim::parseScenario(kPlayerScenario, &sc, &error));
    sc.timing.handoverMs = 60000;  // the search never ends by itself here
    bsim::setScenario(sc);
    startAndScan();
    const struct {
        bool twoStream;
        const char* call;
    } cases[] = {{false, "stopHandover()"}, {true, "stopHandover2TS()"}};
    for (const auto& c : cases) {
        tune(27, 0xe300);
        m_log->clear();
        ASSERT_TRUE(c.twoStream ? m_player->requestHandover2TS() : m_player->requestHandover(0));
        bsim::clearCalls();
        {
            QMutexLocker lock(&m_player->m_mutex);
            EXPECT_EQ(m_player->cancelHandover(), 0);
            EXPECT_FALSE(m_player->m_bHandover);
        }
        EXPECT_EQ(bsim::calls(), std::vector<std::string>{c.call});
        EXPECT_EQ(m_player->getPlayerState(), KvrOzbFSegPlayer::StateIdle);
        EXPECT_TRUE(m_player->isChannelSet());
        ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyHandoverComplete").empty(); }));
        EXPECT_EQ(m_log->named("notifyHandoverComplete")[0].args, (QVariantList{false, -1, -1, -1}));
    }
}

TEST_F(PlayerTest, HoldingTheHandoverLockAcrossATuneDoesNotDeadlock)
{
    startAndScan();
    tune(20, 0xe100);
    ASSERT_TRUE(m_player->requestHandover(0));
    m_log->clear();
    {
        // The GUI thread tunes under the lock while the engine delivers the
        // AV start of the tune; its handler waits for the lock on the
        // engine's thread, never on ours.
        QMutexLocker lock(&m_player->m_mutex);
        EXPECT_EQ(m_player->cancelHandover(), 0);
        m_player->m_bHandover = true;  // a handover that the tune below ends
        ASSERT_EQ(m_player->setChannel(rowId(27, 0xe300), 0, 0, 0), 0);
        ASSERT_TRUE(bsim::injectEvent(62, 0, 0, {}, 100));
        ASSERT_TRUE(bsim::injectEvent(32, 1, 27, {}, 100));
        EXPECT_FALSE(bsim::waitIdle(300));  // the handler is parked on the lock
    }
    ASSERT_TRUE(bsim::waitIdle());
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyChannelChanged").empty(); }));
    EXPECT_TRUE(m_log->named("notifyChannelChanged")[0].args[0].toBool());
    // The AV start ended the handover, so the later 62 and 32 found none.
    EXPECT_TRUE(m_log->named("notify2TsHandoverResult").empty());
    EXPECT_TRUE(m_log->named("notifyHandoverChannel").empty());
}

TEST_F(PlayerTest, EveryEventBecomesItsSignalOnTheGuiThread)
{
    startAndScan();
    ISDBtDataManager::getInstance()->setAntennaState(0);
    std::vector<int> twoTs(18, -1);
    twoTs[0] = 2;
    twoTs[1] = 5;
    twoTs[3] = 7;
    twoTs[4] = 9;
    twoTs[17] = 11;
    const struct {
        int msg, ext1, ext2;
        std::vector<int> record;
        QStringList names;
        QVariantList lastArgs;
    } cases[] = {
        {33, 1, 1, {0xe100, 1, 0, 2}, {"notifyEmergencyInfo"}, {1, 0xe100}},
        {33, 0, 1, {0xe100, 0, 0, 2}, {}, {}},
        {33, 1, 1, {}, {}, {}},
        {100, 1, 0, {}, {"notifyAntenaShortStatus"}, {1}},
        {100, 0, 0, {}, {}, {}},  // the stored state is 0 already
        {56, 3, 0, {}, {"notiryEventVideoError"}, {3}},
        {3, 0, 0xe300, {}, {"notifyChannelUpdate"}, {0xe300}},
        {3, 1, 0xe300, {}, {}, {}},
        {2, 1, 0, {}, {"notifySearchComplete"}, {false}},
        {2, 0, 0, {}, {"notifySearchComplete"}, {true}},
        {5, 40, -1, {}, {"notifySearchPercent"}, {40, 2}},  // the scan found two
        {10, 0, 0xe100, {}, {"notifyVideoDefinitionUpdate"}, {0, 0xe100}},
        {30, 0xe100, 0x50, {}, {"notifyEpgUpdate"}, {0xe100, 0x50}},
        {39, 1, 0, {0xe300, 7, 0x7f30, 1}, {"notifyEventRelay"}, {1, 0xe300}},
        {39, 1, 0, {}, {}, {}},
        {61, 1, 0, {}, {"notify2TsComparisonStatus"}, {1}},
        {63, 0, 0, twoTs, {"notify2TsChannelUpdateRemove", "notify2TsChannelUpdateRemove", "notify2TsChannelUpdateAdd"}, {11}},
        {32, 1, 27, {}, {}, {}},   // no handover running
        {62, -1, 0, {}, {}, {}},   // no handover running
        {36, 1, 50, {0, 0, 3}, {}, {}},
        {37, 0, 0, {0, 1, 2, 3}, {}, {}},
        {41, 0xe100, 0, {}, {}, {}},
        {50, 0, 0, {1, 20, 2, 3}, {}, {}},
        {77, 1, 2, {}, {}, {}},
    };
    for (const auto& c : cases) {
        m_log->clear();
        ASSERT_TRUE(bsim::injectEvent(c.msg, c.ext1, c.ext2, c.record));
        deliverQueued();
        EXPECT_EQ(m_log->names(), c.names) << "event " << c.msg << " ext1 " << c.ext1;
        if (!c.names.isEmpty()) {
            EXPECT_EQ(m_log->all().back().args, c.lastArgs) << "event " << c.msg;
            EXPECT_TRUE(allOnGuiThread(m_log->all())) << "event " << c.msg;
        }
    }
    EXPECT_EQ(m_log->all().size(), 0u);
    // Two of the 63 case: the count stops the walk after 5 and 7.
    m_log->clear();
    ASSERT_TRUE(bsim::injectEvent(63, 0, 0, twoTs));
    deliverQueued();
    const std::vector<Signal> removed = m_log->named("notify2TsChannelUpdateRemove");
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0].args[0].toInt(), 5);
    EXPECT_EQ(removed[1].args[0].toInt(), 7);

    // Video output during a scan is dropped and the state stays scanning.
    ASSERT_EQ(m_player->scan(1), 0);
    m_log->clear();
    ASSERT_TRUE(bsim::injectEvent(6, 0, 0xe100));
    deliverQueued();
    EXPECT_TRUE(m_log->named("notifyVideoOutput").empty());
}

TEST_F(PlayerTest, AvRenderReportsTheEnginesFailure)
{
    startAndScan();
    EXPECT_TRUE(m_player->stopAvRender());
    EXPECT_FALSE(m_player->isAvRenderOn());
    EXPECT_TRUE(m_player->startAvRender());
    EXPECT_TRUE(m_player->isAvRenderOn());

    const struct {
        const char* failing;
        bool start;
    } cases[] = {{"setAudioMuteOnOff", true}, {"setVideoPauseOnOff", true},
                 {"setAudioMuteOnOff", false}, {"setVideoPauseOnOff", false}};
    for (const auto& c : cases) {
        bsim::clearResults();
        const bool before = m_player->isAvRenderOn();
        bsim::setResult(c.failing, -1);
        bsim::clearCalls();
        EXPECT_FALSE(c.start ? m_player->startAvRender() : m_player->stopAvRender()) << c.failing;
        EXPECT_EQ(m_player->isAvRenderOn(), before) << c.failing;
        EXPECT_EQ(bsim::calls().size(), 2u);  // both calls are still made
    }
}

TEST_F(PlayerTest, CaptionAndSuperimposeAreSelectedBeforePlayingAndDroppedAfter)
{
    startAndScan();
    const struct {
        bool superimpose;
        int n;
        std::vector<std::string> calls;
    } cases[] = {
        {false, 2, {"setSubtitle(2)", "playSubtitle(1)"}},
        {false, 0, {"playSubtitle(0)", "setSubtitle(0)"}},
        {true, 1, {"setSuperImpose(1)", "playSuperimpose(1)"}},
        {true, 0, {"playSuperimpose(0)", "setSuperImpose(0)"}},
    };
    for (const auto& c : cases) {
        bsim::clearCalls();
        if (c.superimpose)
            m_player->setSuperImpose(c.n);
        else
            m_player->setSubtitle(c.n);
        EXPECT_EQ(bsim::calls(), c.calls) << c.superimpose << " " << c.n;
    }
}

TEST_F(PlayerTest, EngineFailuresLeaveTheWrapperAsItWas)
{
    startAndScan();
    bsim::setResult("setBackSearchInfo2TS", -1);
    m_player->setBackSearchInfo2TS(0, 0);
    EXPECT_TRUE(m_player->isBackSearchOn());
    bsim::clearResults();
    m_player->setBackSearchInfo2TS(0, 0);
    EXPECT_FALSE(m_player->isBackSearchOn());

    const struct {
        int engine, expect;
    } temps[] = {{9, 0}, {10, 10}, {125, 125}, {126, 0}};
    for (const auto& t : temps) {
        bsim::setResult("getApTemperature", t.engine);
        EXPECT_EQ(m_player->getApTemperature(), t.expect) << t.engine;
    }

    bsim::setResult("stop", -1);
    tune(27, 0xe300);
    m_player->stop();
    EXPECT_TRUE(m_player->isChannelSet());
    bsim::clearResults();

    // The engine object goes whatever its release returns.
    bsim::setResult("release", -1);
    m_player->release();
    EXPECT_EQ(bsim::engineThread(), std::thread::id());
    EXPECT_NE(m_player->getPlayerState(), KvrOzbFSegPlayer::StateNone);
    bsim::clearResults();

    // Created again after a release.
    m_log->clear();
    m_player->initialize();
    m_player->prepare(1);
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyPrepared").empty(); }));
}

TEST_F(PlayerTest, PmapLookupTakesTheFirstMatchingWellFormedLine)
{
    const std::string pmap = s_root->path("/proc/pmap");
    holvik_test::writeFile(pmap,
                           "garbage line\n"
                           "0x100 overlay1\n"
                           "0x00200000 0x00001000 overlay10\n"
                           "0x00300000 0x00002000 overlay1\n"
                           "0x00400000 0x00003000 overlay1\n");
    tagPmap info;
    info.base = 7;
    EXPECT_TRUE(KvrOzbFSegPlayer::getPmapInfo("overlay1", &info));
    EXPECT_EQ(info.base, 0x00300000u);
    EXPECT_EQ(info.size, 0x2000u);
    tagPmap none;
    none.base = 9;
    EXPECT_FALSE(KvrOzbFSegPlayer::getPmapInfo("overlay2", &none));
    EXPECT_EQ(none.base, 9u);
    // Damaged lists: no crash, no read past the text, a found region is one
    // the text really names.
    std::mt19937 rng(7);
    const std::string good = "0x01000000 0x00800000 overlay1\n0x00800000 0x00800000 overlay0\n";
    for (int round = 0; round < 5000; ++round) {
        std::string t = good;
        for (int k = 1 + rng() % 6; k > 0; --k) {
            const size_t at = rng() % t.size();
            if (rng() % 2)
                t[at] = static_cast<char>(rng());
            else
                t.erase(at, 1 + rng() % 8);
            if (t.empty())
                t = "0";
        }
        tagPmap found;
        std::vector<char> exact(t.begin(), t.end());  // no terminator after the bytes
        if (KvrOzbFSegPlayer::parsePmapText(exact.data(), exact.size(), "overlay1", &found)) {
            EXPECT_NE(t.find("overlay1"), std::string::npos);
        }
    }

    // The next engine writes its own list again.
    std::remove(pmap.c_str());
}

}  // namespace
