// The reception poll driven tick by tick with scripted samples: skip phase,
// averages, weak and good detection, the tick counter and its wrap, and the
// segment switch of each automatic mode against its threshold window.

#include "ReceptionMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

struct Sample {
    float cnr = 25.0f;
    int errA = 0;
    int errB = 0;
};

class FakeHost : public ReceptionHost
{
public:
    ReceptionMonitor monitor{this};
    int mode = 2;
    int seg = 0;
    int avail = 2;
    int stations = 3;
    bool eng = false;
    Sample next;
    std::function<Sample(int)> script;  // by read number, when set
    int reads = 0;
    std::vector<bool> announced;
    std::vector<int> switches;
    std::vector<int> levelTicks;
    std::vector<int> qosTicks;
    std::vector<std::pair<int, int>> exceeded;  // (one-seg to full-seg, full-seg to one-seg)
    int lastLevelTick = -1;
    ReceptionThreshold sets[7] = {
        {},
        {0.0f, 0, 5, 1},    // OpFSeg_Fto1
        {0.0f, 1, 10, 2},   // OpFSeg_1toF
        {0.0f, 0, 1, 1},    // Op1Seg_Fto1
        {0.0f, 1, 10, 2},   // Op1Seg_1toF
        {0.0f, 0, 5, 2},    // OpAuto_Fto1
        {15.5f, 0, 25, 5},  // OpAuto_1toF
    };

    int stationCount() override { return stations; }
    void readSignal(float* cnr, int* values) override
    {
        const Sample s = script ? script(reads) : next;
        ++reads;
        *cnr = s.cnr;
        values[7] = s.errA;
        values[9] = s.errB;
        values[13] = 557143;
    }
    int segMode() override { return mode; }
    int currSegType() override { return seg; }
    int availSegType() override { return avail; }
    bool engScreen() override { return eng; }
    ReceptionThreshold threshold(int set) override { return sets[set]; }
    void announceSignal(bool weak, double, int) override { announced.push_back(weak); }
    void publishQos(const int*, double) override { qosTicks.push_back(monitor.tick()); }
    void publishAntStrength(double) override {}
    void publishLevel(double) override { levelTicks.push_back(monitor.tick()); }
    void publishExceeded(int count1toF, int countFto1) override { exceeded.push_back({count1toF, countFto1}); }
    void changeSeg(int segType) override
    {
        switches.push_back(segType);
        seg = segType;
        monitor.flush();  // as the engine's poll restart does
    }

    // Polls until `evaluations` samples have been evaluated.
    void evaluate(int evaluations)
    {
        for (int n = 0; n < evaluations;)
            n += monitor.poll() ? 1 : 0;
    }
    // Polls through the skip phase: the next poll evaluates.
    void skipPhase()
    {
        for (int i = 0; i < 4; ++i)
            ASSERT_FALSE(monitor.poll());
    }
};

TEST(ReceptionMonitor, FirstEvaluationComesAtTheFifthTickAfterOneDiscardedRead)
{
    FakeHost h;
    for (int tick = 1; tick <= 3; ++tick) {
        EXPECT_FALSE(h.monitor.poll()) << tick;
        EXPECT_EQ(h.reads, 0) << tick;
    }
    EXPECT_FALSE(h.monitor.poll());
    EXPECT_EQ(h.reads, 1);  // read and dropped
    EXPECT_EQ(h.monitor.cnrSamples(), 0u);
    EXPECT_TRUE(h.monitor.poll());
    EXPECT_EQ(h.reads, 2);
    EXPECT_EQ(h.monitor.cnrSamples(), 1u);

    // An empty station list stops everything, the skip phase included.
    FakeHost empty;
    empty.stations = 0;
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(empty.monitor.poll());
    EXPECT_EQ(empty.reads, 0);
}

TEST(ReceptionMonitor, AveragesCountOnlyPositiveCnrAndAFullLayerAQueue)
{
    FakeHost h;
    h.mode = 4;
    h.skipPhase();
    const float cnr[] = {4.0f, -1.0f, 6.0f};
    int i = 0;
    h.script = [&](int) { return Sample{cnr[i], 3, 0}; };
    for (i = 0; i < 3; ++i)
        ASSERT_TRUE(h.monitor.poll());
    EXPECT_DOUBLE_EQ(h.monitor.averageOfCnr(), 10.0 / 3.0);
    EXPECT_EQ(h.monitor.averageOfPerA(), 0);  // three of five samples
    h.script = [](int) { return Sample{20.0f, 4, 0}; };
    h.evaluate(2);
    EXPECT_EQ(h.monitor.averageOfPerA(), 3);  // (3 + 3 + 3 + 4 + 4) / 5, truncated
    h.evaluate(5);
    EXPECT_DOUBLE_EQ(h.monitor.averageOfCnr(), 20.0);  // the last five only
    EXPECT_EQ(h.monitor.averageOfPerA(), 4);
}

TEST(ReceptionMonitor, FixedFullSegIsWeakBelow15Point5WhereAutoModeIsGood)
{
    struct Case {
        int mode;
        Sample sample;
        bool weak;
        int at;  // evaluation of the announcement: good after 5, weak after 10
    };
    const Case cases[] = {
        {0, {15.4f, 0, 0}, true, 10},   // fixed full-seg: CNR alone
        {2, {15.4f, 0, 0}, false, 5},   // auto: only below 5 dB
        {2, {4.9f, 0, 0}, true, 10},
        {4, {20.0f, 1, 0}, true, 14},   // layer-A errors count once five are queued
        {0, {20.0f, 0, 5}, true, 17},   // 8+ of the last 10 layer-B samples
        {3, {20.0f, 0, 5}, false, 5},   // layer B does not count outside fixed full-seg
    };
    for (const Case& c : cases) {
        FakeHost h;
        h.mode = c.mode;
        h.avail = 0;  // no switching in the way
        h.next = c.sample;
        h.skipPhase();
        auto announcedAs = [&] { return std::count(h.announced.begin(), h.announced.end(), c.weak); };
        h.evaluate(c.at - 1);
        EXPECT_EQ(announcedAs(), 0) << c.mode << " " << c.sample.cnr;
        h.evaluate(1);
        EXPECT_EQ(announcedAs(), 1) << c.mode << " " << c.sample.cnr;
        EXPECT_EQ(h.announced.back(), c.weak) << c.mode << " " << c.sample.cnr;
    }
}

TEST(ReceptionMonitor, WeakIsAnnouncedOnceAtTheTenthEvaluationAndTheCountStopsAt600)
{
    FakeHost h;
    h.mode = 4;
    h.avail = 0;
    h.next = {2.0f, 0, 0};
    h.skipPhase();
    h.evaluate(9);
    EXPECT_TRUE(h.announced.empty());
    EXPECT_EQ(h.monitor.weakCount(), 9);
    h.evaluate(1);
    EXPECT_EQ(h.announced, std::vector<bool>{true});
    EXPECT_TRUE(h.monitor.signalWeak());
    h.evaluate(700);
    EXPECT_EQ(h.announced.size(), 1u);
    EXPECT_EQ(h.monitor.weakCount(), 600);

    // Good again: announced after five, and a later weak run starts afresh.
    h.next = {22.0f, 0, 0};
    h.evaluate(4);
    EXPECT_EQ(h.announced.size(), 1u);
    h.evaluate(1);
    EXPECT_EQ(h.announced, (std::vector<bool>{true, false}));
    EXPECT_EQ(h.monitor.weakCount(), 0);
    h.evaluate(50);
    EXPECT_EQ(h.announced.size(), 2u);
    EXPECT_EQ(h.monitor.goodCount(), 5);
}

TEST(ReceptionMonitor, TickCountsToFiftyThenWrapsToTwentyFiveAndPacesThePublications)
{
    FakeHost h;
    h.avail = 0;
    h.skipPhase();
    std::vector<int> ticks;
    for (int i = 0; i < 60; ++i) {
        ticks.push_back(h.monitor.tick());
        ASSERT_TRUE(h.monitor.poll());
    }
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(ticks[i], i);
    EXPECT_EQ(ticks[51], 25);
    EXPECT_EQ(ticks[52], 26);
    EXPECT_EQ(h.monitor.tick(), 34);
    for (int t : h.levelTicks)
        EXPECT_EQ(t % 5, 4);
    for (int t : h.qosTicks)
        EXPECT_EQ(t % 2, 1);
    // Level updates at 4, 9, ..., 49, then 29 after the wrap.
    EXPECT_EQ(h.levelTicks.size(), 11u);

    h.monitor.flush();
    EXPECT_EQ(h.monitor.tick(), 0);
    EXPECT_EQ(h.monitor.skipCount(), 0);
    EXPECT_EQ(h.monitor.cnrSamples(), 0u);
}

// Evaluations until the first switch of a scripted run, or -1.
int evaluationsToSwitch(FakeHost& h, const std::function<Sample(int)>& script, int limit)
{
    h.skipPhase();
    const int readsBefore = h.reads;
    h.script = [&](int read) { return script(read - readsBefore); };
    for (int n = 1; n <= limit; ++n) {
        h.evaluate(1);
        if (!h.switches.empty())
            return n;
    }
    return -1;
}

TEST(ReceptionMonitor, EachAutomaticModeLeavesFullSegOnlyWhenItsLayerBWindowIsMet)
{
    struct Case {
        const char* what;
        int mode;
        std::function<Sample(int)> script;
        int expected;  // evaluation of the switch, -1 never (within 60)
    };
    auto every = [](int n) { return [n](int i) { return Sample{22.0f, 0, i % n == 0 ? 7 : 0}; }; };
    const Case cases[] = {
        // Auto: 5 erroneous of the last 10, and never before 10 samples.
        {"auto, all errors", 2, every(1), 10},
        {"auto, every second", 2, every(2), 10},
        {"auto, every third", 2, every(3), -1},
        // One-seg priority: the first error among the last 5 (10 samples first).
        {"1seg priority, one error", 3, [](int i) { return Sample{22.0f, 0, i == 12 ? 1 : 0}; }, 13},
        {"1seg priority, early error", 3, [](int i) { return Sample{22.0f, 0, i == 2 ? 1 : 0}; }, -1},
        // Full-seg priority: all of the last 5.
        {"fseg priority, all errors", 4, every(1), 10},
        {"fseg priority, four of five", 4, [](int i) { return Sample{22.0f, 0, i % 5 == 4 ? 0 : 3}; }, -1},
        // Fixed modes never switch.
        {"fixed full-seg", 0, every(1), -1},
        {"fixed one-seg", 1, every(1), -1},
    };
    for (const Case& c : cases) {
        FakeHost h;
        h.mode = c.mode;
        EXPECT_EQ(evaluationsToSwitch(h, c.script, 60), c.expected) << c.what;
        if (c.expected > 0) {
            EXPECT_EQ(h.switches, std::vector<int>{1}) << c.what;
        }
    }
}

TEST(ReceptionMonitor, AutoModeReturnsToFullSegOnlyAfterTwentyFiveGoodCnrSamples)
{
    FakeHost h;
    h.mode = 2;
    h.seg = 1;
    // One sample under the level restarts the count of the whole window.
    auto script = [](int i) { return Sample{i == 20 ? 15.4f : 16.0f, 0, 0}; };
    EXPECT_EQ(evaluationsToSwitch(h, script, 80), 20 + 25 + 1);
    EXPECT_EQ(h.switches, std::vector<int>{0});

    // Priority modes return after 10 error-free samples.
    for (int mode : {3, 4}) {
        FakeHost p;
        p.mode = mode;
        p.seg = 1;
        EXPECT_EQ(evaluationsToSwitch(p, [](int i) { return Sample{22.0f, 0, i < 3 ? 2 : 0}; }, 60), 13) << mode;
    }

    // A one-seg-only channel never goes to full-seg.
    FakeHost only;
    only.mode = 2;
    only.seg = 1;
    only.avail = 1;
    EXPECT_EQ(evaluationsToSwitch(only, [](int) { return Sample{30.0f, 0, 0}; }, 60), -1);
}

TEST(ReceptionMonitor, NoCnrRightAfterAChannelChangeSwitchesToOneSegAtTheLevelUpdate)
{
    FakeHost h;
    h.mode = 2;
    h.monitor.setChannelChangedState(1);
    h.next = {0.0f, 0, 0};
    EXPECT_EQ(evaluationsToSwitch(h, [](int) { return Sample{0.0f, 0, 0}; }, 10), 5);  // tick 4

    // Two level updates later the change is over: the thresholds decide.
    FakeHost late;
    late.mode = 2;
    late.monitor.setChannelChangedState(1);
    late.skipPhase();
    late.next = {20.0f, 0, 0};
    late.evaluate(10);  // level updates at ticks 4 and 9 age the state
    EXPECT_EQ(late.monitor.channelChangedState(), 0);
    late.next = {0.0f, 0, 0};
    late.evaluate(10);
    EXPECT_TRUE(late.switches.empty());
}

TEST(ReceptionMonitor, TheEngineeringScreenGetsTheWindowCountOfTheDirectionTestedAndZeroForTheOther)
{
    using Counts = std::vector<std::pair<int, int>>;
    struct Case {
        const char* what;
        int mode;
        int seg;
        std::function<Sample(int)> script;  // by evaluation
        Counts published;                   // by evaluations 10, 11 and 12
        std::vector<int> switches;
    };
    const Case cases[] = {
        // Auto, full-seg: layer-B errors among the last 10 (errors on the first three samples).
        {"auto, full-seg", 2, 0, [](int i) { return Sample{22.0f, 0, i < 3 ? 4 : 0}; }, {{0, 3}, {0, 2}, {0, 1}}, {}},
        // Auto, one-seg: CNR samples at or above 15.5 dB among the last 25 (one below).
        {"auto, one-seg", 2, 1, [](int i) { return Sample{i == 3 ? 10.0f : 16.0f, 0, 0}; },
         {{9, 0}, {10, 0}, {11, 0}}, {}},
        // Full-seg priority, one-seg: error-free samples among the last 10; the tenth switches.
        {"fseg priority, one-seg", 4, 1, [](int i) { return Sample{22.0f, 0, i < 2 ? 1 : 0}; },
         {{8, 0}, {9, 0}, {10, 0}}, {0}},
        // One-seg priority, one-seg: likewise error-free samples among the last 10.
        {"1seg priority, one-seg", 3, 1, [](int i) { return Sample{22.0f, 0, i < 2 ? 1 : 0}; },
         {{8, 0}, {9, 0}, {10, 0}}, {0}},
        // One-seg priority, full-seg: errors among the last 5; the first switches.
        {"1seg priority, full-seg", 3, 0, [](int i) { return Sample{22.0f, 0, i == 11 ? 1 : 0}; },
         {{0, 0}, {0, 0}, {0, 1}}, {1}},
        // Full-seg priority, full-seg: errors among the last 5.
        {"fseg priority, full-seg", 4, 0, [](int i) { return Sample{22.0f, 0, i >= 8 ? 1 : 0}; },
         {{0, 2}, {0, 3}, {0, 4}}, {}},
    };
    for (const Case& c : cases) {
        FakeHost h;
        h.mode = c.mode;
        h.seg = c.seg;
        h.eng = true;
        h.skipPhase();
        const int first = h.reads;
        h.script = [&](int read) { return c.script(read - first); };
        h.evaluate(9);
        EXPECT_TRUE(h.exceeded.empty()) << c.what << ": nothing before ten samples";
        h.evaluate(3);
        EXPECT_EQ(h.exceeded, c.published) << c.what;
        EXPECT_EQ(h.switches, c.switches) << c.what;
    }

    // Without the engineering screen the same test decides but publishes nothing.
    FakeHost off;
    off.mode = 4;
    off.seg = 1;
    off.skipPhase();
    off.next = {22.0f, 0, 0};
    off.evaluate(10);
    EXPECT_EQ(off.switches, std::vector<int>{0});
    EXPECT_TRUE(off.exceeded.empty());
}

TEST(ReceptionMonitor, PerWindowNeedsTenSamples)
{
    FakeHost h;
    h.mode = 3;
    h.next = {22.0f, 0, 9};
    h.skipPhase();
    h.evaluate(9);
    h.sets[ReceptionMonitor::Op1Seg_Fto1].count = 1;
    EXPECT_FALSE(h.monitor.perThresholdExceeded(ReceptionMonitor::Op1Seg_Fto1));
    EXPECT_TRUE(h.switches.empty());
    EXPECT_FALSE(h.monitor.cnrThresholdExceeded(ReceptionMonitor::OpAuto_1toF));
}

TEST(ReceptionMonitor, SignalLevelsByCnrAndSegment)
{
    struct Case {
        int seg;
        double cnr;
        int level;
    };
    const Case cases[] = {{0, 15.0, 0}, {0, 15.1, 1}, {0, 19.9, 1}, {0, 20.0, 2}, {0, 24.9, 2}, {0, 25.0, 3},
                          {1, 5.0, 0},  {1, 5.1, 1},  {1, 8.9, 1},  {1, 9.0, 2},  {1, 11.9, 2}, {1, 12.0, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(ReceptionMonitor::signalLevel(c.seg, c.cnr), c.level) << c.seg << " " << c.cnr;
}

}  // namespace
