// The job thread: de-duplicating queue, cancel by kind, results as signals,
// stop with a running job and restart.
#include "ChannelItem.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ListsFixtures.h"
#include "StationItem.h"
#include "StdoutCapture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

const int CH = 27;
const int SID = 0x5c38;
const int MJD = 60000;

// Records the job thread's signals where they are emitted. A result of job
// 32 with remote key 1000 or more holds the job thread until released, which
// keeps the queue still while a test looks at it.
class Recorder : public QObject
{
public:
    explicit Recorder(ISDBtThread* thread)
    {
        connect(thread, &ISDBtThread::sendChannelUpdateMode, this,
                [this](int mode, int key) {
                    add(QString("ch %1 %2").arg(mode).arg(key));
                    if (key >= 1000)
                        gate.acquire();
                },
                Qt::DirectConnection);
        connect(thread, &ISDBtThread::sendEPGUpdateModeComplete, this,
                [this](bool updated, int forced) { add(QString("epg %1 %2").arg(updated).arg(forced)); },
                Qt::DirectConnection);
        connect(thread, &ISDBtThread::sendEPGModeCanceled, this, [this] { add("canceled"); }, Qt::DirectConnection);
        connect(thread, &ISDBtThread::sendEPGGetModeComplete, this, [this] { add("get"); }, Qt::DirectConnection);
        connect(thread, &ISDBtThread::sendCurrentEPGGetModeComplete, this, [this] { add("current"); },
                Qt::DirectConnection);
        connect(thread, &ISDBtThread::sendOtherChannelUpdate2TsComplete, this,
                [this](int mode, int ch) { add(QString("2ts %1 %2").arg(mode).arg(ch)); }, Qt::DirectConnection);
    }
    void add(const QString& e)
    {
        QMutexLocker lock(&mutex);
        events << e;
    }
    QStringList list()
    {
        QMutexLocker lock(&mutex);
        return events;
    }
    bool waitFor(const QString& e, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!list().contains(e)) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(2);
        }
        return true;
    }
    QMutex mutex;
    QStringList events;
    QSemaphore gate;
};

bool waitUntil(const std::function<bool()>& cond, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(2);
    }
    return true;
}

class JobThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fixtures::app();
        fixtures::devRoot();
        thread = std::make_unique<ISDBtThread>();
        rec = std::make_unique<Recorder>(thread.get());
    }
    void TearDown() override
    {
        rec->gate.release(100);
        thread->stopJobThread();
        thread->wait();
        rec.reset();
        thread.reset();
    }
    // Job 32 that holds the thread; returns once it runs.
    void hold(int key = 1000)
    {
        thread->request(32, 0, -1, key, -1, nullptr, -1);
        ASSERT_TRUE(rec->waitFor(QString("ch 0 %1").arg(key)));
    }

    std::unique_ptr<ISDBtThread> thread;
    std::unique_ptr<Recorder> rec;
};

TEST_F(JobThreadTest, EqualRequestsAreQueuedOnceUntilTaken)
{
    hold();
    thread->request(32, 0, -1, 5, -1, nullptr, -1);
    thread->request(32, 0, -1, 5, -1, nullptr, -1);
    EXPECT_EQ(thread->queuedJobCount(), 1);
    // Job-1 requests differing only in the forced flag are both kept.
    thread->request(1, 0, 0, CH, SID, nullptr, 1);
    thread->request(1, 0, 0, CH, SID, nullptr, -1);
    EXPECT_EQ(thread->queuedJobCount(), 3);
    // The queue has no bound: the 11th entry is only logged.
    for (int i = 0; i < 9; ++i)
        thread->request(8, i, -1, -1, -1, nullptr, -1);
    EXPECT_EQ(thread->queuedJobCount(), 12);
    thread->cancelJobs(1 | 8);
    EXPECT_EQ(thread->queuedJobCount(), 1);

    rec->gate.release();
    ASSERT_TRUE(rec->waitFor("ch 0 5"));
    // Taken, so an equal request queues again and runs again.
    thread->request(32, 0, -1, 5, -1, nullptr, -1);
    ASSERT_TRUE(waitUntil([&] { return rec->list().count("ch 0 5") == 2; }));
}

TEST_F(JobThreadTest, CancelByKind)
{
    hold();
    for (int mode : {1, 2, 4, 8, 16, 64, 128, 256})
        thread->request(mode, 0, -1, -1, -1, nullptr, -1);
    thread->request(32, 0, -1, 7, -1, nullptr, -1);
    EXPECT_EQ(thread->queuedJobCount(), 9);

    // Job 32 runs, held by the gate: cancelling the guide jobs neither flags
    // it nor waits for it. A flagged job held here would make the canceller
    // poll until its bound, and the canceller's log line counts its polls.
    holvik_test::StdoutCapture log;
    thread->cancelJobsForEpg();
    const std::string logged = log.take();
    EXPECT_EQ(logged.find("set cancelCurrentJob"), std::string::npos) << logged;
    EXPECT_NE(logged.find("job canceled. (spends 0ms)"), std::string::npos) << logged;
    EXPECT_EQ(thread->queuedJobCount(), 7);
    EXPECT_EQ(thread->currentJob(), 32);

    // Everything but the power-on and channel-update jobs goes.
    thread->cancelJobsExcept(128 | 32);
    EXPECT_EQ(thread->queuedJobCount(), 2);

    // Cancelling the running job waits for it to return: it can only return
    // once the releaser has opened the gate.
    std::atomic<bool> released{false};
    std::thread releaser([&] {
        QThread::msleep(50);
        released = true;
        rec->gate.release();
    });
    thread->cancelAllJobs();
    EXPECT_TRUE(released);
    releaser.join();
    EXPECT_EQ(thread->queuedJobCount(), 0);
    thread->request(32, 0, -1, 9, -1, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("ch 0 9"));
    EXPECT_FALSE(rec->list().contains("ch 0 7"));
}

TEST_F(JobThreadTest, PassThroughJobsReturnTheirArguments)
{
    thread->request(32, 1, -1, -1, -1, nullptr, -1);
    thread->request(256, 1, -1, 33, -1, nullptr, -1);
    thread->request(512, 1, -1, -1, -1, nullptr, -1);  // unknown kind: dropped
    thread->request(16, 1, -1, -1, -1, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("2ts 1 33"));
    EXPECT_EQ(rec->list(), (QStringList{"ch 1 0", "2ts 1 33"}));
}

TEST_F(JobThreadTest, StopWithARunningJobThenRestartRunsNewJobs)
{
    hold();
    thread->request(32, 0, -1, 50, -1, nullptr, -1);  // queued before the stop
    QElapsedTimer t;
    t.start();
    thread->stopJobThread();  // the held job keeps it busy: the wait times out
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_TRUE(thread->isRunning());

    // Power on again: the power-on job is queued behind the job still running.
    thread->startJobThread();
    thread->request(128, -1, -1, -1, -1, nullptr, -1);
    thread->request(32, 0, -1, 60, -1, nullptr, -1);
    rec->gate.release();
    ASSERT_TRUE(rec->waitFor("ch 0 60"));
    EXPECT_TRUE(KvrOzbFSegPlayer::getInstance()->isPrepared()) << "the power-on job ran";
    EXPECT_FALSE(rec->list().contains("ch 0 50")) << "jobs queued before the stop are dropped";
    EXPECT_TRUE(thread->isThreadStarted());

    // A request alone also restarts a stopping loop.
    hold(1001);
    thread->stopJobThread();
    thread->request(32, 0, -1, 70, -1, nullptr, -1);
    rec->gate.release();
    ASSERT_TRUE(rec->waitFor("ch 0 70"));
}

TEST_F(JobThreadTest, StopWhileIdleEndsTheLoopAndARequestStartsItAgain)
{
    thread->startJobThread();
    ASSERT_TRUE(waitUntil([&] { return thread->isRunning(); }));
    thread->stopJobThread();
    EXPECT_TRUE(thread->waitThreadCondition());
    EXPECT_FALSE(thread->isThreadStarted());
    thread->request(32, 0, -1, 80, -1, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("ch 0 80"));
    thread->stopJobThread();
    EXPECT_FALSE(thread->isRunning());
    thread->startJobThread();
    thread->request(32, 0, -1, 81, -1, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("ch 0 81"));
}

// Guide jobs against databases of the singleton database manager.
class JobThreadGuideTest : public JobThreadTest
{
protected:
    void SetUp() override
    {
        JobThreadTest::SetUp();
        dataDir = std::make_unique<QTemporaryDir>();
        qputenv("OZB_DATA_PATH", dataDir->path().toLocal8Bit());
        fixtures::writeChannels(dataDir->path() + "/ISDBT0.db",
                                {{1, CH, 1, SID, 1, 0x110, 0x111, 0x1F0, "One"},
                                 {2, CH, 1, 0x5cb8, 0xC0, 0x112, 0x113, 0x1FC8, "One 1seg"}});
        settings = ISDBtDataManager::getInstance();
        settings->setMode(0);
        settings->setCurrServiceID(SID);
        settings->setCurrChannelNumber(CH);
        settings->setCurrentDataTime(MJD, 10 * 3600 + 30 * 60);
        db = KvrOzbFSegDBManager::getInstance();
        guideDb = db->guideDirectory() + "/ISDBTEPG0.db";
        QFile::remove(guideDb);
    }
    void TearDown() override
    {
        JobThreadTest::TearDown();
        db->release();
        db->resetListModel();
        qunsetenv("OZB_DATA_PATH");
    }
    void open()
    {
        db->init();
        db->getChannelsFromDB(0, true, 0);
    }
    std::unique_ptr<QTemporaryDir> dataDir;
    ISDBtDataManager* settings = nullptr;
    KvrOzbFSegDBManager* db = nullptr;
    QString guideDb;
};

TEST_F(JobThreadGuideTest, GuideRefreshRefillsOnlyWhenTheGuideChanged)
{
    fixtures::writeGuide(guideDb, fixtures::guideTable(false, CH, SID), {{1, 10, MJD, 10, 0, 1, 0, "News"}});
    fixtures::writeGuide(guideDb, fixtures::guideTable(true, CH, SID),
                         {{1, 11, MJD, 11, 0, 1, 0, "a"}, {2, 12, MJD, 12, 0, 1, 0, "b"}});
    open();
    thread->request(1, 0, 0, CH, SID, nullptr, 1);
    ASSERT_TRUE(rec->waitFor("epg 1 1"));
    db->makeEpgList(0);
    ASSERT_EQ(db->getEpgListCount(0), 3);

    // Nothing new: the list (with the event on air first) matches the count.
    thread->request(1, 0, 0, CH, SID, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("epg 0 -1"));

    // A new event in the schedule makes the counts differ.
    fixtures::writeGuide(guideDb, fixtures::guideTable(true, CH, SID),
                         {{1, 11, MJD, 11, 0, 1, 0, "a"}, {2, 12, MJD, 12, 0, 1, 0, "b"}, {3, 13, MJD, 13, 0, 1, 0, "c"}});
    thread->request(1, 0, 0, CH, SID, nullptr, -2);
    ASSERT_TRUE(rec->waitFor("epg 1 -2"));
    EXPECT_EQ(db->m_Epgs.size(), 4);

    // Job 2 reports a changed event on air; job 4 always reports.
    thread->request(2, 0, 0, CH, SID, nullptr, -1);
    thread->request(4, 0, -1, CH, SID, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("current"));
    EXPECT_FALSE(rec->list().contains("get")) << "the event on air did not change";
    settings->setCurrentDataTime(MJD, 11 * 3600 + 5 * 60);
    fixtures::writeGuide(guideDb, fixtures::guideTable(false, CH, SID),
                         {{1, 10, MJD, 10, 0, 1, 0, "News"}, {2, 11, MJD, 11, 0, 1, 0, "a"}});
    thread->request(2, 0, 0, CH, SID, nullptr, -1);
    ASSERT_TRUE(rec->waitFor("get"));
}

TEST_F(JobThreadGuideTest, ProgrammeNameJobTriesTheOtherSegment)
{
    // One-seg requested, but the one-seg service ID is unknown (0): the
    // full-seg schedule supplies the name.
    fixtures::writeGuide(guideDb, fixtures::guideTable(true, CH, SID), {{1, 11, MJD, 10, 0, 1, 0, "Full-seg name"}});
    open();
    thread->request(64, 0, 1, CH, 0, nullptr, SID);
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return db->getStationItemByRemoconID(0, 1, 1)->ProgramName == "Full-seg name";
    }));
    EXPECT_EQ(db->getChannelItem(0, SID, false)->ProgramName, "Full-seg name");
}

TEST_F(JobThreadGuideTest, CancelInTheMiddleOfAGuideRead)
{
    std::vector<fixtures::Event> many;
    for (int i = 0; i < 60000; ++i)
        many.push_back({i + 1, 1000 + i, MJD + 1 + i / 1440, (i / 60) % 24, i % 60, 0, 1, "e"});
    fixtures::writeGuide(guideDb, fixtures::guideTable(false, CH, SID), {{1, 10, MJD, 10, 0, 1, 0, "News"}});
    fixtures::writeGuide(guideDb, fixtures::guideTable(true, CH, SID), many);
    open();
    thread->request(1, 0, 0, CH, SID, nullptr, 1);
    ASSERT_TRUE(waitUntil([&] { return thread->currentJob() == 1; }));
    QThread::msleep(20);
    thread->cancelJobsExcept(128);
    ASSERT_TRUE(rec->waitFor("canceled"));
    EXPECT_FALSE(rec->list().contains("epg 1 1"));
    const int cached = db->m_Epgs.size();
    EXPECT_GE(cached, 1);
    EXPECT_LT(cached, 60001) << "the read stopped before the end";
    for (int i = 2; i < cached; ++i)
        EXPECT_LT(db->m_Epgs[i - 1]->eventID, db->m_Epgs[i]->eventID) << "kept in start order";
}

}  // namespace
