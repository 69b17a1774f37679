// The log writer's files, driven without its thread: index, rotation, wrap,
// stop/start and the export to the USB stick.

#include "ISDBtUtil.h"
#include "SaveLogHandler.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <filesystem>

using holvik_test::readFile;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;
namespace fs = std::filesystem;

namespace {

const char kLogDir[] = "/opt/data/DtvAppLog/";

std::string logFile(const TestDevRoot& root, int index)
{
    return root.path(kLogDir) + "AppLogFile_" + std::to_string(index) + ".txt";
}

std::string indexFile(const TestDevRoot& root)
{
    return root.path(kLogDir) + "AppIndexFile.txt";
}

std::string header(int index)
{
    return "========== LogFileIndex : " + std::to_string(index) + " ==========\n";
}

}  // namespace

TEST(LogInit, EachStartBeginsTheFileAfterTheLastOne)
{
    struct Case {
        const char* indexContent;  // nullptr: no index file
        int want;
        const char* console;
    };
    const Case cases[] = {
        {nullptr, 0, "LogFileIndex (0)\n"},
        {"", 0, "LogFileIndex (0 => 0)\n"},
        {"5", 6, "LogFileIndex (5 => 6)\n"},
        {"998", 999, "LogFileIndex (998 => 999)\n"},
        {"999", 0, "LogFileIndex (999 => 0)\n"},
        {"12345", 124, "LogFileIndex (123 => 124)\n"},  // only three bytes are read
        {"-5", 0, "LogFileIndex (-5 => 0)\n"},          // never a negative file number
    };
    for (const Case& c : cases) {
        TestDevRoot root;
        fs::remove_all(root.path(kLogDir));  // the directory is created when missing
        if (c.indexContent)
            writeFile(indexFile(root), c.indexContent);
        writeFile(logFile(root, c.want), "old cycle\n");

        SaveLogHandler log;
        StdoutCapture cap;
        log.init();
        EXPECT_NE(cap.take().find(c.console), std::string::npos) << c.console;
        EXPECT_EQ(log.logFileIndex(), c.want);
        EXPECT_EQ(readFile(indexFile(root)), std::to_string(c.want));
        EXPECT_EQ(readFile(logFile(root, c.want)), header(c.want)) << "an old file of that number is replaced";
    }
}

TEST(LogRotation, FileRotatesOnlyAboveTheSizeLimit)
{
    TestDevRoot root;
    SaveLogHandler log;
    log.init();
    ASSERT_EQ(log.logFileIndex(), 0);

    // Exactly at the limit the file still takes the next line.
    writeFile(logFile(root, 0), std::string(100000, 'a'));
    log.writeToLogFile("at limit\n");
    EXPECT_EQ(log.logFileIndex(), 0);
    EXPECT_EQ(fs::file_size(logFile(root, 0)), 100009u);
    EXPECT_TRUE(root.recordedCommands().empty());

    // Above it, the next line opens the next file, without a header.
    writeFile(logFile(root, 1), "stale content of an earlier cycle\n");
    log.writeToLogFile("next\n");
    EXPECT_EQ(log.logFileIndex(), 1);
    EXPECT_EQ(readFile(logFile(root, 1)), "next\n");
    EXPECT_EQ(readFile(indexFile(root)), "1");
    EXPECT_EQ(root.recordedCommands(), std::vector<std::string>{"sync"});
    EXPECT_EQ(fs::file_size(logFile(root, 0)), 100009u);
}

TEST(LogRotation, IndexWrapsFrom999To0)
{
    TestDevRoot root;
    writeFile(indexFile(root), "998");
    SaveLogHandler log;
    log.init();
    ASSERT_EQ(log.logFileIndex(), 999);
    writeFile(logFile(root, 0), "from the previous cycle\n");

    writeFile(logFile(root, 999), std::string(100001, 'a'));
    log.writeToLogFile("wrapped\n");
    EXPECT_EQ(log.logFileIndex(), 0);
    EXPECT_EQ(readFile(logFile(root, 0)), "wrapped\n");
    EXPECT_EQ(readFile(indexFile(root)), "0");
    EXPECT_FALSE(fs::exists(logFile(root, 1000)));
}

TEST(LogRotation, DeletedFileIsCreatedAgainWithoutRotation)
{
    TestDevRoot root;
    SaveLogHandler log;
    log.init();
    fs::remove(logFile(root, 0));
    log.writeToLogFile("again\n");
    EXPECT_EQ(log.logFileIndex(), 0);
    EXPECT_EQ(readFile(logFile(root, 0)), "again\n");
}

TEST(LogRotation, FailedWriteLosesOnlyThatLine)
{
    TestDevRoot root;
    SaveLogHandler log;
    log.init();
    // The log file leads nowhere (a link into a missing directory): the write
    // fails and says so, without a rotation.
    fs::remove(logFile(root, 0));
    fs::create_symlink(root.root() + "/missing/AppLogFile_0.txt", logFile(root, 0));
    StdoutCapture cap;
    log.writeToLogFile("lost\n");
    EXPECT_NE(cap.take().find("[writeToLogFile] Write fail!! (" + logFile(root, 0) + ")"), std::string::npos);
    EXPECT_EQ(log.logFileIndex(), 0);
    fs::remove(logFile(root, 0));
    log.writeToLogFile("kept\n");
    EXPECT_EQ(readFile(logFile(root, 0)), "kept\n");
}

TEST(LogQueue, StopDiscardsQueuedLinesAndStartResumes)
{
    TestDevRoot root;
    SaveLogHandler log;
    EXPECT_FALSE(log.isRunning()) << "a new writer starts stopped";
    log.pushMessage("dropped while stopped\n");
    EXPECT_EQ(log.pendingCount(), 0u);

    log.start();
    log.pushMessage("a\n");
    log.pushMessage("b\n");
    EXPECT_EQ(log.pendingCount(), 2u);
    log.stop();
    EXPECT_EQ(log.pendingCount(), 0u);
    EXPECT_EQ(log.getMessage(), "");

    log.start();
    log.pushMessage("c\n");
    log.pushMessage("d\n");
    EXPECT_EQ(log.getMessage(), "c\n");
    EXPECT_EQ(log.getMessage(), "d\n");
    EXPECT_EQ(log.getMessage(), "");
}

TEST(LogExport, PacksTheLogDirectoryOntoTheStick)
{
    TestDevRoot root;
    SaveLogHandler log;
    log.init();
    log.writeToLogFile("exported line\n");
    fs::create_directories(root.path("/run/media/sda1"));
    writeFile(root.path("/run/media/sda1/DtvAppLog.tgz"), "older archive");

    EXPECT_EQ(log.copyToUsb(), 0);
    EXPECT_EQ(root.recordedCommands(), std::vector<std::string>{"sync"});

    const std::string listing = root.root() + "/listing.txt";
    int status = -1;
    ASSERT_EQ(sutil::RunCmd(("tar xzOf " + sutil::ShellArg(root.path("/run/media/sda1/DtvAppLog.tgz")) + " > " +
                             sutil::ShellArg(listing)).c_str(),
                            &status),
              1);
    ASSERT_EQ(status, 0);
    EXPECT_NE(readFile(listing).find("exported line"), std::string::npos);

    // Saving goes on after the export.
    log.start();
    log.pushMessage("after\n");
    EXPECT_EQ(log.pendingCount(), 1u);
}

TEST(LogExport, FailsWithoutAStickOrWhenTheArchiveCannotBeWritten)
{
    TestDevRoot root;
    SaveLogHandler log;
    log.init();
    {
        StdoutCapture cap;
        EXPECT_EQ(log.copyToUsb(), -1);
        EXPECT_NE(cap.take().find("is not able to access!!"), std::string::npos);
    }
    // A stick on which the archive cannot be created (here: a directory is
    // in its place, which fails even for root, like a full or read-only
    // stick): the shell runs, tar fails, and the export is a failure.
    fs::create_directories(root.path("/run/media/sda1/DtvAppLog.tgz"));
    StdoutCapture cap;
    EXPECT_EQ(log.copyToUsb(), -1);
    const std::string out = cap.take();
    EXPECT_NE(out.find("runCmd(tar czf"), std::string::npos) << out;
    EXPECT_EQ(out.find("[copyToUsb] success"), std::string::npos) << out;

    log.start();
    log.pushMessage("not blocked by the failed export\n");
    EXPECT_EQ(log.pendingCount(), 1u);
}
