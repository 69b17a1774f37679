#include "PlayerFixture.h"

#include "BroadcastDb.h"
#include "ISDBtDataManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdlib>

holvik_test::TestDevRoot* PlayerTest::s_root = nullptr;

const char* kPlayerScenario = R"(
clock 60000 10 15 0
timing prepare=5 scan_step=1 tune=10 handover=30 epg_refresh=0
station 20 0x7f10 Aurora
  logo 100 100
  relay 34 1
  service fseg 0xe100 1 11 0x111 0x112 0x101 Aurora HD
    audiomode 2
    audio por eng Portugues | English
    audio spa - Espanol
    event +0 10:00 1:00 Morning News | Headlines
  service 1seg 0xe118 1 19 0x181 0x182 0x1fc8 Aurora 1Seg
station 27 0x7f30 Vale
  logo 8 4
  service fseg 0xe300 5 51 0x311 0x312 0x301 Vale
    audio jpn - 0123456789012345678901234567890123456789
    event +0 10:00 2:00 AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAB
signal 0 cnr=25.5 tot=2550 errA=0 totA=100
signal 0 ch=34 cnr=28.0 tot=2800 errA=0 totA=100
)";

SignalLog::SignalLog(KvrOzbFSegPlayer* p) : QObject(nullptr)
{
    using P = KvrOzbFSegPlayer;
    connect(p, &P::notifyAntenaShortStatus, this, [this](int s) { add("notifyAntenaShortStatus", {s}); });
    connect(p, &P::notifyPrepared, this, [this] { add("notifyPrepared", {}); });
    connect(p, &P::notifySearchComplete, this, [this](bool r) { add("notifySearchComplete", {r}); });
    connect(p, &P::notifySearchPercent, this, [this](int a, int b) { add("notifySearchPercent", {a, b}); });
    connect(p, &P::notifyVideoOutput, this, [this](int a) { add("notifyVideoOutput", {a}); });
    connect(p, &P::notifyBilingualInfoUpdate, this, [this] { add("notifyBilingualInfoUpdate", {}); });
    connect(p, &P::notifyChannelChanged, this, [this](bool h) { add("notifyChannelChanged", {h}); });
    connect(p, &P::notifySubtitleUpdate, this, [this] { add("notifySubtitleUpdate", {}); });
    connect(p, &P::notifyHandoverComplete, this,
            [this](bool r, int a, int b, int c) { add("notifyHandoverComplete", {r, a, b, c}); });
    connect(p, &P::notifyHandoverChannel, this, [this](int a, int b) { add("notifyHandoverChannel", {a, b}); });
    connect(p, &P::notifyChannelUpdate, this, [this](int a) { add("notifyChannelUpdate", {a}); });
    connect(p, &P::notifyVideoDefinitionUpdate, this,
            [this](int a, int b) { add("notifyVideoDefinitionUpdate", {a, b}); });
    connect(p, &P::notify2TsHandoverResult, this, [this](int a) { add("notify2TsHandoverResult", {a}); });
    connect(p, &P::notify2TsComparisonStatus, this, [this](int a) { add("notify2TsComparisonStatus", {a}); });
    connect(p, &P::notifyEventRelay, this, [this](int a, int b) { add("notifyEventRelay", {a, b}); });
    connect(p, &P::notifyEmergencyInfo, this, [this](int a, int b) { add("notifyEmergencyInfo", {a, b}); });
    connect(p, &P::notifyEpgUpdate, this, [this](int a, int b) { add("notifyEpgUpdate", {a, b}); });
    connect(p, &P::notifyLogoImageCreated, this, [this](int a, int b) { add("notifyLogoImageCreated", {a, b}); });
    connect(p, &P::notify2TsChannelUpdateRemove, this,
            [this](int a) { add("notify2TsChannelUpdateRemove", {a}); });
    connect(p, &P::notify2TsChannelUpdateAdd, this, [this](int a) { add("notify2TsChannelUpdateAdd", {a}); });
    connect(p, &P::notiryEventVideoError, this, [this](int a) { add("notiryEventVideoError", {a}); });
}

void SignalLog::add(const char* name, QVariantList args)
{
    m_signals.push_back({name, args, QThread::currentThread() == qApp->thread()});
}

std::vector<Signal> SignalLog::named(const QString& name) const
{
    std::vector<Signal> out;
    for (const Signal& s : m_signals)
        if (s.name == name)
            out.push_back(s);
    return out;
}

QStringList SignalLog::names(const QStringList& skip) const
{
    QStringList out;
    for (const Signal& s : m_signals)
        if (!skip.contains(s.name))
            out << s.name;
    return out;
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spinFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

void deliverQueued()
{
    ASSERT_TRUE(bsim::waitIdle());
    QCoreApplication::sendPostedEvents();
}

void PlayerTest::SetUpTestSuite()
{
    if (s_root)
        return;
    static int argc = 1;
    static char name[] = "player_test";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    s_root = new holvik_test::TestDevRoot();
    // The wrapper is a process singleton that keeps the root's paths to the
    // end: the root goes when the program ends.
    std::atexit([] { delete s_root; });
    unsetenv("OZB_DATA_PATH");
    unsetenv("HOLVIK_BROADCAST_SCENARIO");
}

void PlayerTest::SetUp()
{
    bsim::Scenario sc;
    std::string error;
    ASSERT_TRUE(bsim::parseScenario(kPlayerScenario, &sc, &error)) << error;
    bsim::setScenario(sc);
    bsim::clearResults();
    m_player = KvrOzbFSegPlayer::getInstance();
    m_log = new SignalLog(m_player);
}

void PlayerTest::TearDown()
{
    m_player->release();
    spinFor(20);
    delete m_log;
    bsim::clearResults();
    bsim::clearCalls();
}

void PlayerTest::startAndScan()
{
    m_player->initialize();
    m_player->prepare(0x4f7a);
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifyPrepared").empty(); }));
    ASSERT_GE(m_player->scan(0), 0);
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifySearchComplete").empty(); }));
    ASSERT_TRUE(bsim::waitIdle());
    spinFor(20);
}

int PlayerTest::rowId(int channel, int serviceID) const
{
    std::vector<bsim::ChannelRow> rows;
    bsim::readChannelDatabase(bsim::channelDirectory() + "/ISDBT0.db", &rows);
    for (const auto& r : rows)
        if (r.channelNumber == channel && r.serviceID == serviceID)
            return r.id;
    return -1;
}

void PlayerTest::tune(int channel, int serviceID, int segType)
{
    const int id = rowId(channel, serviceID);
    ASSERT_EQ(m_player->setChannel(segType ? 0 : id, segType ? id : 0, 0, segType), 0);
    ASSERT_TRUE(bsim::waitIdle());
    spinFor(20);
}
