#include "ISDBtThread.h"

#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"

#include <QMutexLocker>

// Value handed to the player's prepare() at power-on.
static const unsigned int kPrepareValue = 0x00000001u;

static const int kQueueWarnSize = 10;

ISDBtThread::ISDBtThread(QObject* parent) : QThread(parent)
{
    LOG_I("[%s]==================== ISDBtThread Start ====================", "ISDBtThread");
    dbManager = KvrOzbFSegDBManager::getInstance();
}

ISDBtThread::~ISDBtThread() = default;

bool ISDBtThread::isThreadStarted()
{
    QMutexLocker lock(&mutex);
    return threadStarted;
}

int ISDBtThread::queuedJobCount()
{
    QMutexLocker lock(&mutex);
    return reservedMessage.size();
}

int ISDBtThread::currentJob()
{
    QMutexLocker lock(&mutex);
    return jobRunning ? currentJobMode : 0;
}

// Starts the loop, or keeps a stopping loop alive, with the mutex held.
void ISDBtThread::startLoopLocked()
{
    if (readyPowerOff) {
        // A stop whose wait timed out: the loop is still finishing its job.
        // Clearing the flag lets it go on with the jobs queued from now on.
        readyPowerOff = false;
        if (!jobRunning)
            cancelCurrentJob = false;
    }
    if (!threadStarted) {
        // The previous loop has left run() or is about to: let the QThread
        // finish before starting it again, or start() would do nothing.
        mutex.unlock();
        wait();
        mutex.lock();
        threadStarted = true;
        LOG_W("call job thread start()");
        start(QThread::InheritPriority);
        LOG_W("~call job thread start()");
    } else if (currentJobMode == 0) {
        condition.wakeAll();
    }
}

void ISDBtThread::startJobThread()
{
    LOG_H("@@@@@@@@@@@@@@@@@======================> start job thread~");
    QMutexLocker lock(&mutex);
    if (readyPowerOff || !threadStarted || !isRunning())
        startLoopLocked();
}

void ISDBtThread::request(int mode, int seg, int arg1, int arg2, int arg3, void* data, int size)
{
    QMutexLocker lock(&mutex);
    const THREAD_MESSAGE_t msg = {mode, seg, arg1, arg2, arg3, size, data};
    const int n = reservedMessage.size();
    const int dup = reservedMessage.indexOf(msg);
    if (dup >= 0) {
        LOG_I("======================> request((%d) 0x%x, seg %d, arg1 %d, arg2 %d, arg3 %d, size)", n, mode, seg,
              arg1, arg2, arg3);
        LOG_I("======================> But, duplicated job exists at index : %d. skip this request~~", dup);
    } else {
        reservedMessage.append(msg);
    }
    if (reservedMessage.size() > kQueueWarnSize) {
        LOG_W("@@@@@@@@@@@@@@@@@======================> request(0x%x, seg %d, arg1 %d, arg2 %d, arg3 %d) - "
              "reservedMessage.size() : %d -> %d WHY???",
              mode, seg, arg1, arg2, arg3, n, reservedMessage.size());
    }
    startLoopLocked();
}

void ISDBtThread::waitCancelled()
{
    int count = 0;
    if (cancelCurrentJob.load()) {
        while (cancelCurrentJob.load() && count < 1000) {
            ++count;
            QThread::msleep(1);
        }
    }
    LOG_I("===================================================> job canceled. (spends %dms)", count);
}

void ISDBtThread::cancelAllJobs()
{
    LOG_I("cancelAllJobs");
    {
        QMutexLocker lock(&mutex);
        reservedMessage.clear();
        if (jobRunning) {
            cancelCurrentJob = true;
            LOG_I("===================================================> set cancelCurrentJob(0x%x) as TRUE~~",
                  currentJobMode);
        }
    }
    waitCancelled();
}

void ISDBtThread::cancelJobs(int mask)
{
    LOG_I("cancelJobs 0x%x", mask);
    {
        QMutexLocker lock(&mutex);
        for (int i = reservedMessage.size() - 1; i >= 0; --i) {
            if (reservedMessage.at(i).mode & mask) {
                reservedMessage.removeAt(i);
                LOG_I("===================================================> removed at index : %d", i);
            }
        }
        if (jobRunning && (currentJobMode & mask)) {
            cancelCurrentJob = true;
            LOG_I("===================================================> set cancelCurrentJob(0x%x) as TRUE~~",
                  currentJobMode);
        }
    }
    waitCancelled();
}

void ISDBtThread::cancelJobsExcept(int mask)
{
    LOG_I("cancelJobsExcept 0x%x", mask);
    {
        QMutexLocker lock(&mutex);
        for (int i = reservedMessage.size() - 1; i >= 0; --i) {
            if (!(reservedMessage.at(i).mode & mask)) {
                reservedMessage.removeAt(i);
                LOG_I("===================================================> removed at index : %d", i);
            }
        }
        if (jobRunning && !(currentJobMode & mask)) {
            cancelCurrentJob = true;
            LOG_I("===================================================> set cancelCurrentJob(0x%x) as TRUE~~",
                  currentJobMode);
        }
    }
    waitCancelled();
}

void ISDBtThread::cancelJobsForEpg()
{
    cancelJobs(EPGUpdateMode | CurrentEPGGetMode);
}

void ISDBtThread::stopJobThread()
{
    LOG_H("@@@@@@@@@@@@@@@@@======================> stop job thread~");
    {
        QMutexLocker lock(&mutex);
        readyPowerOff = true;
        cancelCurrentJob = true;
        // The jobs queued so far belong to the session being stopped; jobs
        // posted after this call start the next one.
        reservedMessage.clear();
        condition.wakeAll();
    }
    const bool ended = QThread::wait(1000);
    LOG_I("===================================================> thread is ended. (%dms timeout? %s)", 1000,
          ended ? "No~ ^^" : "YES!!!");
}

bool ISDBtThread::waitThreadCondition()
{
    return QThread::wait(1000);
}

void ISDBtThread::run()
{
    LOG_I("[%s]==================== run ====================", "run");
    QMutexLocker lock(&mutex);
    if (!threadStarted)
        return;
    for (;;) {
        if (readyPowerOff) {
            LOG_W("@@@@@@@@@@@@@@@@@======================> readyPowerOff is TRUE!!! stop job thread~");
            reservedMessage.clear();
            currentJobMode = 0;
            cancelCurrentJob = false;
            threadStarted = false;
            readyPowerOff = false;
            return;
        }
        if (reservedMessage.isEmpty()) {
            currentJobMode = 0;
            condition.wait(&mutex, 30000);
            continue;
        }
        const THREAD_MESSAGE_t msg = reservedMessage.takeFirst();
        jobRunning = true;
        currentJobMode = msg.mode;
        currentJobSeg = msg.seg;
        if (reservedMessage.size() > kQueueWarnSize) {
            LOG_W("@@@@@@@@@@@@@@@@@======================> run() - gotJob : 0x%x, seg : %d, arg1 : %d, arg2 : %d",
                  msg.mode, msg.seg, msg.arg1, msg.arg2);
        }
        lock.unlock();
        runJob(msg);
        lock.relock();
        jobRunning = false;
        cancelCurrentJob = false;
        if (!readyPowerOff && !reservedMessage.isEmpty())
            QThread::msleep(100);
    }
}

void ISDBtThread::runJob(const THREAD_MESSAGE_t& msg)
{
    switch (msg.mode) {
    case EPGUpdateMode: procJobEPGUpdateMode(msg); break;
    case EPGGetMode: procJobEPGGetMode(msg); break;
    case CurrentEPGGetMode: procJobCurrentEPGGetMode(msg); break;
    case OtherChannelCheckMode: procJobOtherChannelCheckMode(msg); break;
    case SubChannelCheckMode: procJobSubChannelCheckMode(msg); break;
    case ChannelUpdateMode: procJobChannelUpdateMode(msg); break;
    case CurrentChannelEPGStartIndexMode: procJobCurrentChannelEPGStartIndexMode(msg); break;
    case AccOnAndPrepareMode: procJobAccOnAndPrepareMode(msg); break;
    case OtherChannelUpdate2Ts: procJobOtherChannelUpdate2Ts(msg); break;
    default: LOG_W("invalid thread mode(%d)", msg.mode); break;
    }
}

void ISDBtThread::procJobEPGUpdateMode(const THREAD_MESSAGE_t& msg)
{
    const int mode = msg.seg, type = msg.arg1, channel = msg.arg2, service = msg.arg3;
    const bool forced = msg.size > 0;
    const bool changed = dbManager->getCurrentEpgItem(mode, channel, service);
    bool needed = changed || forced;
    if (!needed) {
        const int listCount = dbManager->getEpgListCount(mode);
        const int dbCount = dbManager->getEpgCountFormDB(mode, type, channel, service);
        LOG_I("[%s] currEpgListCnt(%d) epgDbCnt(%d)", "procJobEPGUpdateMode", listCount, dbCount);
        // The list shows the event on air before the events the count covers.
        needed = listCount != dbManager->getEpgExpectedListCount(dbCount, service);
    }
    bool updated = false;
    if (needed) {
        dbManager->getEpgItemsFromDB(mode, type, channel, service, true, cancelCurrentJob);
        updated = true;
    }
    if (cancelCurrentJob.load())
        emit sendEPGModeCanceled();
    else
        emit sendEPGUpdateModeComplete(updated, msg.size);
}

void ISDBtThread::procJobEPGGetMode(const THREAD_MESSAGE_t& msg)
{
    const bool found = dbManager->getCurrentEpgItem(msg.seg, msg.arg2, msg.arg3);
    if (cancelCurrentJob.load())
        emit sendEPGModeCanceled();
    else if (found)
        emit sendEPGGetModeComplete();
}

void ISDBtThread::procJobCurrentEPGGetMode(const THREAD_MESSAGE_t& msg)
{
    dbManager->getEpgPresentFollowing(msg.seg, msg.arg2, msg.arg3);
    emit sendCurrentEPGGetModeComplete();
}

void ISDBtThread::procJobOtherChannelCheckMode(const THREAD_MESSAGE_t&)
{
    LOG_I("[%s]", "procJobOtherChannelCheckMode");
}

void ISDBtThread::procJobSubChannelCheckMode(const THREAD_MESSAGE_t&)
{
    LOG_I("[%s]", "procJobSubChannelCheckMode");
}

void ISDBtThread::procJobChannelUpdateMode(const THREAD_MESSAGE_t& msg)
{
    emit sendChannelUpdateMode(msg.seg, qMax(msg.arg2, 0));
}

void ISDBtThread::procJobCurrentChannelEPGStartIndexMode(const THREAD_MESSAGE_t& msg)
{
    const int mode = msg.seg, type = msg.arg1, channel = msg.arg2;
    const int oneSeg = msg.arg3, fullSeg = msg.size;
    const QString oneHex = QString::number(oneSeg, 16), fullHex = QString::number(fullSeg, 16);
    QString name;
    const int service = type == 1 ? oneSeg : fullSeg;
    if (service > 0) {
        LOG_I("[%s] seg(%d) ch(%d) 1seg(0x%s) fseg(0x%s) check seg(%s)", "procJobCurrentChannelEPGStartIndexMode", type,
              channel, qPrintable(oneHex), qPrintable(fullHex), type == 1 ? "1Seg" : "FSeg");
        name = dbManager->getProgramNameFromDB(mode, type, channel, service);
    }
    if (name.isEmpty()) {
        const int otherType = type == 1 ? 0 : 1;
        const int otherService = otherType == 1 ? oneSeg : fullSeg;
        if (otherService > 0) {
            LOG_I("[%s] seg(%d) ch(%d) 1seg(0x%s) fseg(0x%s) programName is empty. check other seg(%s)",
                  "procJobCurrentChannelEPGStartIndexMode", otherType, channel, qPrintable(oneHex),
                  qPrintable(fullHex), otherType == 1 ? "1Seg" : "FSeg");
            dbManager->getProgramNameFromDB(mode, otherType, channel, otherService);
        }
    }
}

void ISDBtThread::procJobAccOnAndPrepareMode(const THREAD_MESSAGE_t&)
{
    LOG_I("[%s]", "procJobAccOnAndPrepareMode");
    KvrOzbFSegPlayer* player = KvrOzbFSegPlayer::getInstance();
    player->initialize();
    player->prepare(kPrepareValue);
}

void ISDBtThread::procJobOtherChannelUpdate2Ts(const THREAD_MESSAGE_t& msg)
{
    LOG_I("[%s] chNum(%d)", "procJobOtherChannelUpdate2Ts", msg.arg2);
    emit sendOtherChannelUpdate2TsComplete(msg.seg, msg.arg2);
}
