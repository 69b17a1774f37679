#include "SaveLogHandler.h"

#include "DevRoot.h"
#include "ISDBtUtil.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

const std::string SaveLogHandler::THREAD_NAME = "SaveLogHandler";
SaveLogHandler* SaveLogHandler::m_pInstance = nullptr;

namespace {
std::mutex s_mutex;

// "%u" of the index, as the index file and the file names carry it.
std::string indexText(int index)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(index));
    return buf;
}

int nextIndex(int index)
{
    return index + 1 < SaveLogHandler::kMaxFiles ? index + 1 : 0;
}
}  // namespace

SaveLogHandler* SaveLogHandler::getInstance()
{
    std::lock_guard<std::mutex> lock(s_mutex);
    if (!m_pInstance)
        m_pInstance = new SaveLogHandler();
    return m_pInstance;
}

SaveLogHandler::SaveLogHandler() = default;

SaveLogHandler::~SaveLogHandler()
{
    // Only instances without a writer thread are ever destroyed (tests); the
    // process instance lives until the process ends.
    pthread_mutex_destroy(&m_queueMutex);
}

std::string SaveLogHandler::logFilePath(int index)
{
    return devroot::path(kLogDir) + "AppLogFile_" + indexText(index) + ".txt";
}

std::string SaveLogHandler::indexFilePath()
{
    return devroot::path(kIndexFile);
}

void SaveLogHandler::init()
{
    printf("[isdbt] [%s] ==============\n", "init");
    const std::string dir = devroot::path(kLogDir);
    if (!sutil::DirectoryExists(dir.c_str()))
        sutil::CheckDirectory(dir);

    const std::string indexPath = indexFilePath();
    if (sutil::FileExists(indexPath.c_str())) {
        char buf[4] = {0, 0, 0, 0};
        if (sutil::ReadFile(buf, 3, indexPath.c_str(), "r", 0)) {
            const long old = strtol(buf, nullptr, 10);
            m_nLogFileIndex = (old + 1 < kMaxFiles && old + 1 >= 0) ? static_cast<int>(old + 1) : 0;
            printf("[isdbt] [%s] LogFileIndex (%d => %d)\n", "init", static_cast<int>(old), m_nLogFileIndex);
        } else {
            printf("[isdbt] [%s] LogFileIndex (%d => %d)\n", "init", m_nLogFileIndex, 0);
            m_nLogFileIndex = 0;
        }
    } else {
        m_nLogFileIndex = 0;
        printf("[isdbt] [%s] LogFileIndex (%d)\n", "init", m_nLogFileIndex);
    }

    std::string index = indexText(m_nLogFileIndex);
    if (!sutil::WriteFile(&index[0], static_cast<int>(index.size()), indexPath.c_str(), "w", 0))
        printf("[isdbt] [%s] Write fail!! (LogFileIndex : %d)\n", "init", m_nLogFileIndex);

    std::string header = "========== LogFileIndex : " + index + " ==========\n";
    const std::string file = logFilePath(m_nLogFileIndex);
    if (!sutil::WriteFile(&header[0], static_cast<int>(header.size()), file.c_str(), "w", 0))
        printf("[isdbt] [%s] Write fail!! (%s)\n", "init", file.c_str());
}

void* SaveLogHandler::threadEntry(void* self)
{
    static_cast<SaveLogHandler*>(self)->run();
    return nullptr;
}

void SaveLogHandler::createThread()
{
    printf("[isdbt] [%s] ==============\n", "createThread");
    if (!m_bThreadStarted) {
        const int err = pthread_create(&m_thread, nullptr, &SaveLogHandler::threadEntry, this);
        if (err != 0) {
            printf("[isdbt] [%s] fail to create thread (err : %d)\n", "createThread", err);
        } else {
            m_bThreadStarted = true;
            if (pthread_setname_np(m_thread, THREAD_NAME.c_str()) != 0)
                printf("[isdbt] [%s] pthread setname fail!! (%s)\n", "createThread", THREAD_NAME.c_str());
        }
    }
    usleep(100 * 1000);
}

void SaveLogHandler::start()
{
    printf("[isdbt] [%s] ==============\n", "start");
    m_bStop = false;
}

void SaveLogHandler::stop()
{
    printf("[isdbt] [%s] ==============\n", "stop");
    m_bStop = true;
    pthread_mutex_lock(&m_queueMutex);
    m_messages.clear();
    pthread_mutex_unlock(&m_queueMutex);
}

void SaveLogHandler::pushMessage(std::string line)
{
    if (m_bStop || m_bCopying)
        return;
    pthread_mutex_lock(&m_queueMutex);
    m_messages.push_back(std::move(line));
    pthread_mutex_unlock(&m_queueMutex);
    std::lock_guard<std::mutex> lock(m_waitMutex);
    m_cond.notify_one();
}

std::string SaveLogHandler::getMessage()
{
    std::string line;
    pthread_mutex_lock(&m_queueMutex);
    if (!m_messages.empty()) {
        line = std::move(m_messages.front());
        m_messages.pop_front();
    }
    pthread_mutex_unlock(&m_queueMutex);
    return line;
}

bool SaveLogHandler::queueEmpty()
{
    pthread_mutex_lock(&m_queueMutex);
    const bool empty = m_messages.empty();
    pthread_mutex_unlock(&m_queueMutex);
    return empty;
}

size_t SaveLogHandler::pendingCount()
{
    pthread_mutex_lock(&m_queueMutex);
    const size_t n = m_messages.size();
    pthread_mutex_unlock(&m_queueMutex);
    return n;
}

void SaveLogHandler::run()
{
    printf("[isdbt] [%s] ( name : %s, pid : %u, tid : %x ) ==============\n", "run", THREAD_NAME.c_str(),
           static_cast<unsigned>(getpid()), static_cast<unsigned>(pthread_self()));
    for (;;) {
        if (m_bStop || m_bCopying) {
            // Idle: the flags are polled below.
        } else if (queueEmpty()) {
            // The producer notifies while holding m_waitMutex, after its
            // append; testing the queue under m_waitMutex therefore cannot
            // miss a line queued between the test and the wait.
            std::unique_lock<std::mutex> lock(m_waitMutex);
            while (queueEmpty())
                m_cond.wait(lock);
        } else {
            writeToLogFile(getMessage());
        }
        usleep(10000);
    }
}

void SaveLogHandler::writeToLogFile(std::string line)
{
    std::string path = logFilePath(m_nLogFileIndex);
    const char* mode = "a+";
    const long size = sutil::GetFileSize(path.c_str());
    if (size > kMaxFileSize) {
        const int next = nextIndex(m_nLogFileIndex);
        printf("[isdbt] [%s] LogFileIndex (%d => %d)\n", "writeToLogFile", m_nLogFileIndex, next);
        m_nLogFileIndex = next;
        std::string index = indexText(m_nLogFileIndex);
        if (sutil::WriteFile(&index[0], static_cast<int>(index.size()), indexFilePath().c_str(), "w", 0)) {
            if (!sutil::RunCmd("sync"))
                printf("[isdbt] [%s] runCmd(sync) fail!!\n", "writeToLogFile");
        } else {
            printf("[isdbt] [%s] Write fail!! (LogFileIndex : %d)\n", "writeToLogFile", m_nLogFileIndex);
        }
        path = logFilePath(m_nLogFileIndex);
        mode = "w";
    }
    if (!sutil::WriteFile(&line[0], static_cast<int>(line.size()), path.c_str(), mode, 0))
        printf("[isdbt] [%s] Write fail!! (%s)\n", "writeToLogFile", path.c_str());
}

int SaveLogHandler::copyToUsb()
{
    m_bCopying = true;
    if (!sutil::RunCmd("sync"))
        printf("[isdbt] [%s] runCmd(sync) fail!!\n", "copyToUsb");

    int result = -1;
    const std::string usb = devroot::path(kUsbDir);
    if (access(usb.c_str(), F_OK) != 0) {
        printf("[isdbt] [%s] sdcard path(%s) is not able to access!!\n", "copyToUsb", usb.c_str());
    } else {
        std::string logDir = devroot::path(kLogDir);
        logDir.pop_back();  // the archive holds the directory itself
        const std::string cmd = "tar czf " + sutil::ShellArg(devroot::path(kArchive)) + " " + sutil::ShellArg(logDir);
        // The stick may be full or read-only: only an archive command that
        // ended with status 0 counts as an export.
        int exitStatus = -1;
        if (sutil::RunCmd(cmd.c_str(), &exitStatus) && exitStatus == 0) {
            printf("[isdbt] [%s] success\n", "copyToUsb");
            result = 0;
        } else {
            printf("[isdbt] [%s] runCmd(%s) fail!!\n", "copyToUsb", cmd.c_str());
        }
    }
    m_bCopying = false;
    return result;
}
