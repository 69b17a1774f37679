#pragma once
// The writer behind kelp_app_log(): a queue of file lines drained by one
// thread into rotating log files, and the export of the log directory.
//
// The process uses the one instance of getInstance(); tests may construct
// their own instance and drive it without a thread.

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>

class SaveLogHandler {
public:
    // Board locations (moved below the development root at use).
    static constexpr const char* kLogDir = "/opt/data/DtvAppLog/";
    static constexpr const char* kIndexFile = "/opt/data/DtvAppLog/AppIndexFile.txt";
    static constexpr const char* kUsbDir = "/run/media/sda1/";
    static constexpr const char* kArchive = "/run/media/sda1/DtvAppLog.tgz";
    static constexpr long kMaxFileSize = 100000;
    static constexpr int kMaxFiles = 1000;
    static const std::string THREAD_NAME;

    static SaveLogHandler* getInstance();

    SaveLogHandler();
    SaveLogHandler(const SaveLogHandler&) = delete;
    SaveLogHandler& operator=(const SaveLogHandler&) = delete;
    ~SaveLogHandler();

    // Log directory, index and the first log file of this run.
    void init();
    // Starts the writer thread running run(); never stopped.
    void createThread();
    void start();
    void stop();
    bool isRunning() const { return !m_bStop; }

    void pushMessage(std::string line);
    std::string getMessage();
    void writeToLogFile(std::string line);
    // 0 when the archive was written, -1 otherwise.
    int copyToUsb();

    int logFileIndex() const { return m_nLogFileIndex; }
    // Lines queued and not written yet (benchmarks and tests).
    size_t pendingCount();

    // The current board-or-development paths of the files above.
    static std::string logFilePath(int index);
    static std::string indexFilePath();

private:
    static void* threadEntry(void* self);
    void run();
    bool queueEmpty();

    static SaveLogHandler* m_pInstance;

    std::atomic<bool> m_bStop{true};
    std::atomic<bool> m_bCopying{false};
    pthread_mutex_t m_queueMutex = PTHREAD_MUTEX_INITIALIZER;
    std::mutex m_waitMutex;
    std::condition_variable m_cond;
    std::list<std::string> m_messages;
    int m_nLogFileIndex = 0;
    pthread_t m_thread{};
    bool m_bThreadStarted = false;
};
