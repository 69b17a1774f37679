#ifndef HOLVIK_ISDBTTHREAD_H
#define HOLVIK_ISDBTTHREAD_H

#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class KvrOzbFSegDBManager;

// One queued job. Posters put -1 into the fields a job does not use.
struct THREAD_MESSAGE_t {
    int mode;
    int seg;
    int arg1;
    int arg2;
    int arg3;
    int size;
    void* data;

    bool operator==(const THREAD_MESSAGE_t& o) const
    {
        return mode == o.mode && seg == o.seg && arg1 == o.arg1 && arg2 == o.arg2 && arg3 == o.arg3
            && size == o.size && data == o.data;
    }
};

// The engine's worker thread: runs small jobs one at a time, oldest first,
// and returns their results as queued signals.
class ISDBtThread : public QThread
{
    Q_OBJECT
public:
    enum JobMode {
        EPGUpdateMode = 1,
        EPGGetMode = 2,
        CurrentEPGGetMode = 4,
        OtherChannelCheckMode = 8,
        SubChannelCheckMode = 16,
        ChannelUpdateMode = 32,
        CurrentChannelEPGStartIndexMode = 64,
        AccOnAndPrepareMode = 128,
        OtherChannelUpdate2Ts = 256
    };

    explicit ISDBtThread(QObject* parent = nullptr);
    ~ISDBtThread() override;

    void startJobThread();
    void request(int mode, int seg, int arg1, int arg2, int arg3, void* data, int size);
    void cancelAllJobs();
    void cancelJobs(int mask);
    void cancelJobsExcept(int mask);
    void cancelJobsForEpg();
    void stopJobThread();
    bool waitThreadCondition();

    // Read by the engine: the loop is (to be) running.
    bool isThreadStarted();
    int queuedJobCount();
    int currentJob();

signals:
    void sendPowerOn();
    void sendCompleteThreadAndPowerOff();
    void sendEPGGetModeComplete();
    void sendCurrentEPGGetModeComplete();
    void sendEPGUpdateModeComplete(bool updated, int nForced);
    void sendChannelUpdateMode(int modeType, int remoconID);
    void sendEPGModeCanceled();
    void sendOtherChannelUpdate2TsComplete(int modeType, int channelNumber);

protected:
    void run() override;

private:
    void startLoopLocked();
    void waitCancelled();
    void runJob(const THREAD_MESSAGE_t& msg);
    void procJobEPGUpdateMode(const THREAD_MESSAGE_t& msg);
    void procJobEPGGetMode(const THREAD_MESSAGE_t& msg);
    void procJobCurrentEPGGetMode(const THREAD_MESSAGE_t& msg);
    void procJobOtherChannelCheckMode(const THREAD_MESSAGE_t& msg);
    void procJobSubChannelCheckMode(const THREAD_MESSAGE_t& msg);
    void procJobChannelUpdateMode(const THREAD_MESSAGE_t& msg);
    void procJobCurrentChannelEPGStartIndexMode(const THREAD_MESSAGE_t& msg);
    void procJobAccOnAndPrepareMode(const THREAD_MESSAGE_t& msg);
    void procJobOtherChannelUpdate2Ts(const THREAD_MESSAGE_t& msg);

    bool readyPowerOff = false;
    KvrOzbFSegDBManager* dbManager = nullptr;
    int currentJobMode = 0;
    int currentJobSeg = 0;
    bool threadStarted = false;
    std::atomic<bool> cancelCurrentJob{false};
    bool jobRunning = false;
    QMutex mutex;
    QWaitCondition condition;
    QList<THREAD_MESSAGE_t> reservedMessage;
};

#endif
