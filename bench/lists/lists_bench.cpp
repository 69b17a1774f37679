// List building speed, in a development root of its own:
//  - GuideList5000: refilling the guide cache from a table of 5000 events
//    and building the guide, day and hour lists from it;
//  - SubChannelNumbering500: numbering the sub-channels of 500 services.
// Each reports rows per second; the console log lines go to a file in the
// development root, the results to the original standard output.

#include "ISDBtDataManager.h"
#include "KvrOzbFSegDBManager.h"
#include "ListsFixtures.h"
#include "TestDevRoot.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

namespace {

const int MJD = 60000;
const int CH = 27;
const int SID = 0x5c38;

void BM_GuideList5000(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    QTemporaryDir dataDir;
    qputenv("OZB_DATA_PATH", dataDir.path().toLocal8Bit());
    fixtures::writeChannels(dataDir.path() + "/ISDBT0.db", {{1, CH, 1, SID, 1, 0x110, 0x111, 0x1F0, "One"}});
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    settings->setMode(0);
    settings->setCurrServiceID(SID);
    settings->setCurrChannelNumber(CH);
    settings->setCurrentDataTime(MJD, 0);
    KvrOzbFSegDBManager db;
    std::vector<fixtures::Event> rows;
    for (int i = 0; i < events; ++i)
        rows.push_back({i + 1, i + 1, MJD + i / 48, (i / 2) % 24, (i % 2) * 30, 0, 30, "Programme", "Text"});
    fixtures::writeGuide(db.guideDirectory() + "/ISDBTEPG0.db", fixtures::guideTable(true, CH, SID), rows);
    db.init();
    db.getChannelsFromDB(0, true, 0);
    std::atomic<bool> cancel{false};
    for (auto _ : state) {
        db.getEpgItemsFromDB(0, 0, CH, SID, true, cancel);
        db.makeEpgList(0);
        benchmark::DoNotOptimize(db.getEpgListCount(0));
    }
    if (db.getEpgListCount(0) != events)
        state.SkipWithError("guide list incomplete");
    state.counters["rows_per_s"] =
        benchmark::Counter(double(state.iterations()) * events, benchmark::Counter::kIsRate);
    qunsetenv("OZB_DATA_PATH");
}
BENCHMARK(BM_GuideList5000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SubChannelNumbering500(benchmark::State& state)
{
    const int services = static_cast<int>(state.range(0));
    KvrOzbFSegDBManager db;
    // 50 keys of 10 services: 4 one-seg, 6 full-seg, one duplicate each.
    QList<ChannelRecord> source;
    for (int i = 0; i < services; ++i) {
        auto r = std::make_shared<tagDbChannelItem>();
        r->_id = i + 1;
        r->RemoconID = 1 + i / 10;
        r->ServiceID = 0x1000 + i;
        r->ServiceSegType = (i % 10) < 4 ? 1 : 0;
        r->AudioPID = 0x100 + (i % 10 == 9 ? 8 : i % 10) * 2;
        r->VideoPID = r->AudioPID + 1;
        r->Available = 1;
        source.append(r);
    }
    for (auto _ : state) {
        QList<ChannelRecord> list = source;
        db.makeSubChannelIndex(&list);
        benchmark::DoNotOptimize(list.last()->SubChannel);
    }
    state.counters["rows_per_s"] =
        benchmark::Counter(double(state.iterations()) * services, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SubChannelNumbering500)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    fixtures::app();
    holvik_test::TestDevRoot& root = fixtures::devRoot();
    const int resultsFd = dup(STDOUT_FILENO);
    std::ofstream results("/proc/self/fd/" + std::to_string(resultsFd));
    fflush(stdout);
    const int consoleFd = open((root.root() + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(consoleFd, STDOUT_FILENO);
    close(consoleFd);

    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&results);
    reporter.SetErrorStream(&results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
