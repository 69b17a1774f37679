#include "ISDBtUtil.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using holvik_test::readFile;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;
namespace fs = std::filesystem;

namespace {

int pack(const char* s)
{
    return (static_cast<unsigned char>(s[0]) << 16) | (static_cast<unsigned char>(s[1]) << 8) |
           static_cast<unsigned char>(s[2]);
}

bool isDir(const std::string& p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(RunCmd, SucceedsWhenTheShellRanWhateverTheCommandsOutcome)
{
    TestDevRoot root;
    int status = 99;
    EXPECT_EQ(sutil::RunCmd("false", &status), 1);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(sutil::RunCmd("exit 3", &status), 1);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(sutil::RunCmd("true", &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sutil::RunCmd("kill -9 $$", &status), 1);
    EXPECT_EQ(status, -1) << "a command ended by a signal has no exit code";
    EXPECT_EQ(sutil::RunCmd(nullptr, &status), 0);
}

TEST(RunCmd, RunsWithAnEmptyEnvironmentAndTheStandInsFirst)
{
    TestDevRoot root;
    setenv("HOLVIK_TEST_SECRET", "leak", 1);
    const std::string out = root.root() + "/env.txt";
    ASSERT_EQ(sutil::RunCmd(("env > " + out).c_str()), 1);
    unsetenv("HOLVIK_TEST_SECRET");
    const std::string env = readFile(out);
    EXPECT_EQ(env.find("HOLVIK_TEST_SECRET"), std::string::npos) << env;
    EXPECT_EQ(env.find("HOLVIK_ROOT"), std::string::npos) << env;
    EXPECT_NE(env.find("PATH=" + root.root() + "/bin:"), std::string::npos) << env;
}

TEST(RunCmd, LogsTheCommandLine)
{
    TestDevRoot root;
    StdoutCapture cap;
    sutil::RunCmd("true");
    EXPECT_NE(cap.take().find("[RunCmd] true"), std::string::npos);
}

TEST(RunCmd, AShellThatCannotStartIsAFailure)
{
    TestDevRoot root;
    // One argument longer than the kernel takes: the spawn itself fails, so
    // the command never ran and must not count as done.
    const std::string tooLong = "true " + std::string(256 * 1024, 'x');
    int status = 99;
    StdoutCapture cap;
    EXPECT_EQ(sutil::RunCmd(tooLong.c_str(), &status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_NE(cap.take().find("[RunCmd] posix_spawn: Argument list too long"), std::string::npos);
}

TEST(ShellArg, QuotesOnlyWhatTheShellWouldSplitOrExpand)
{
    EXPECT_EQ(sutil::ShellArg("/opt/data/DtvAppLog"), "/opt/data/DtvAppLog");
    EXPECT_EQ(sutil::ShellArg("/tmp/a b"), "'/tmp/a b'");
    EXPECT_EQ(sutil::ShellArg("it's;rm"), "'it'\\''s;rm'");
    EXPECT_EQ(sutil::ShellArg("$HOME*"), "'$HOME*'");
    EXPECT_EQ(sutil::ShellArg(""), "''");
}

TEST(RemoveAllFilesDirPath, EmptiesTheDirectoryButKeepsDotFiles)
{
    TestDevRoot root;
    for (const char* suffix : {"", "/"}) {
        const std::string dir = root.root() + "/logo dir";
        writeFile(dir + "/channel_1.png", "x");
        writeFile(dir + "/sub/channel_2.png", "x");
        writeFile(dir + "/.keep", "x");
        StdoutCapture cap;
        EXPECT_EQ(sutil::RemoveAllFilesDirPath(dir + suffix), 1);
        const std::string log = cap.take();
        EXPECT_NE(log.find("rm -rf '" + dir + "/'*"), std::string::npos) << suffix << "\n" << log;
        EXPECT_FALSE(fs::exists(dir + "/channel_1.png"));
        EXPECT_FALSE(fs::exists(dir + "/sub"));
        EXPECT_TRUE(fs::exists(dir + "/.keep"));
        EXPECT_TRUE(isDir(dir));
    }
    EXPECT_EQ(sutil::RemoveAllFilesDirPath(root.root() + "/missing"), 0);
}

TEST(CheckDirectory, CreatesEveryMissingLevelAndSkipsEmptyPieces)
{
    TestDevRoot root;
    sutil::CheckDirectory(root.root() + "/a//b/c/");
    EXPECT_TRUE(isDir(root.root() + "/a/b/c"));
    struct stat st;
    ASSERT_EQ(stat((root.root() + "/a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0700, 0700u);

    // A file in the way fails that level and the walk goes on harmlessly.
    writeFile(root.root() + "/f", "x");
    sutil::CheckDirectory(root.root() + "/f/g");
    EXPECT_FALSE(fs::exists(root.root() + "/f/g"));

    sutil::CheckDirectory("/");
    sutil::CheckDirectory("");
}

TEST(Tokenize, NeverProducesEmptyPieces)
{
    struct Case {
        std::string text, delims;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"/a//b/", "/", {"a", "b"}},
        {"", "/", {}},
        {"///", "/", {}},
        {"a b,c", " ,", {"a", "b", "c"}},
        {"abc", "/", {"abc"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> out{"kept"};
        sutil::tokenize(c.text, out, c.delims);
        std::vector<std::string> want{"kept"};
        want.insert(want.end(), c.want.begin(), c.want.end());
        EXPECT_EQ(out, want) << c.text;
    }
}

TEST(GetDateString, ConvertsBroadcastDates)
{
    struct Case {
        int mjd;
        const char* text;
    };
    const Case cases[] = {
        {45218, "9/6(月)"},                // the worked example of the conversion
        {60651, "12/7(土)"},               // 7 December 2024
        {60676, "1/1(水)"},                // 1 January 2025: month from the 14/15 branch
        {60650, "12/6(\xEF\xA4\x8A)"},     // Friday: the compatibility ideograph, not U+91D1
        {60652, "12/8(日)"},
        {60708, "2/2(日)"},                // February: also from the 14/15 branch
        {60735, "3/1(土)"},                // day after 28 February 2025
    };
    for (const Case& c : cases)
        EXPECT_EQ(sutil::GetDateString(c.mjd), QString::fromUtf8(c.text)) << c.mjd;
    EXPECT_NE(sutil::GetDateString(60650), QString::fromUtf8("12/6(金)"));
    // No weekday for a negative remainder; extreme values do not overflow.
    EXPECT_FALSE(sutil::GetDateString(-10).contains('('));
    sutil::GetDateString(INT32_MAX);
    sutil::GetDateString(INT32_MIN);
}

TEST(TextTables, LanguageRegionAndLogoNames)
{
    EXPECT_EQ(sutil::makeLanguageText(pack("eng")), QString::fromUtf8("英語"));
    EXPECT_EQ(sutil::makeLanguageText(pack("jpn")), QString::fromUtf8("日本語"));
    EXPECT_EQ(sutil::makeLanguageText(pack("spa")), QString::fromUtf8("スペイン語"));
    EXPECT_EQ(sutil::makeLanguageText(pack("ENG")), "");
    EXPECT_EQ(sutil::makeLanguageText(0), "");
    EXPECT_EQ(sutil::makeLanguageText(-1), "");

    EXPECT_EQ(sutil::GetLocalName(1), QString::fromUtf8("関東広域"));
    EXPECT_EQ(sutil::GetLocalName(10), QString::fromUtf8("北海道（札幌）"));
    EXPECT_EQ(sutil::GetLocalName(23), QString::fromUtf8("東京"));
    EXPECT_EQ(sutil::GetLocalName(62), QString::fromUtf8("沖縄"));
    for (int area : {0, 7, 8, 9, 63, -1})
        EXPECT_EQ(sutil::GetLocalName(area), "") << area;

    EXPECT_EQ(sutil::makeLogoName("", 3), "");
    EXPECT_EQ(sutil::makeLogoName("/d/", -1), "");
    EXPECT_EQ(sutil::makeLogoName("/d/", 0), "/d/channel_0.png");
    EXPECT_EQ(sutil::makeLogoName("/d", 1234), "/dchannel_1234.png");
}

TEST(FileFunctions, ReadWriteSizeAndErrors)
{
    TestDevRoot root;
    const std::string f = root.root() + "/file.bin";
    char data[] = "hello world";
    EXPECT_EQ(sutil::FileExists(f.c_str()), 0);
    EXPECT_EQ(sutil::GetFileSize(f.c_str()), -1);
    EXPECT_EQ(sutil::WriteFile(data, 11, f.c_str(), "w", 0), 1);
    EXPECT_EQ(sutil::FileExists(f.c_str()), 1);
    EXPECT_EQ(sutil::GetFileSize(f.c_str()), 11);
    char up[] = "WORLD";
    EXPECT_EQ(sutil::WriteFile(up, 5, f.c_str(), "r+", 6), 1);
    EXPECT_EQ(readFile(f), "hello WORLD");

    char buf[8] = {};
    EXPECT_EQ(sutil::ReadFile(buf, 5, f.c_str(), "r", 6), 1);
    EXPECT_STREQ(buf, "WORLD");
    EXPECT_EQ(sutil::ReadFile(buf, 5, f.c_str(), "r", 11), 0) << "nothing left to read";
    EXPECT_EQ(sutil::ReadFile(buf, 5, (root.root() + "/none").c_str(), "r", 0), 0);
    EXPECT_EQ(sutil::WriteFile(data, 3, (root.root() + "/no/dir/x").c_str(), "w", 0), 0);
    EXPECT_EQ(sutil::WriteFile(nullptr, 3, f.c_str(), "w", 0), 0);
    EXPECT_EQ(sutil::ReadFile(buf, -1, f.c_str(), "r", 0), 0);

    EXPECT_EQ(sutil::DirectoryExists(root.root().c_str()), 1);
    EXPECT_EQ(sutil::DirectoryExists(f.c_str()), 0);
    EXPECT_EQ(sutil::DirectoryExists(nullptr), 0);

    const std::string probe = root.root() + "/stick/probe.txt";
    EXPECT_EQ(sutil::AccessFile(probe.c_str()), 0);
    fs::create_directories(root.root() + "/stick");
    EXPECT_EQ(sutil::AccessFile(probe.c_str()), 1);
    EXPECT_TRUE(fs::exists(probe));
}

TEST(SmallHelpers, CopyBinaryAndHexText)
{
    TestDevRoot root;
    char buf[6];
    memset(buf, 'x', sizeof buf);
    sutil::CopyStringToBuf(buf, 4, "abcdef");
    EXPECT_STREQ(buf, "abc");
    sutil::CopyStringToBuf(buf, 6, "ab");
    EXPECT_STREQ(buf, "ab");
    sutil::CopyStringToBuf(buf, 1, "ab");
    EXPECT_STREQ(buf, "");

    EXPECT_EQ(sutil::GetDataFromString(" 0a ff  10 "), QByteArray("\x0a\xff\x10", 3));
    EXPECT_EQ(sutil::GetDataFromString(""), QByteArray());

    const std::string f = root.root() + "/blob";
    EXPECT_EQ(sutil::SaveBinaryToFile({'a', '\0', 'b'}, f.c_str()), 1);
    EXPECT_EQ(readFile(f), std::string("a\0b", 3));
    EXPECT_EQ(sutil::SaveBinaryToFile({}, f.c_str()), 0);
    EXPECT_EQ(sutil::SaveBinaryToFile({'a'}, ""), 0);
    EXPECT_EQ(sutil::SaveBinaryToFile({'a'}, (root.root() + "/no/dir").c_str()), 0);

    StdoutCapture cap;
    char raw[] = {0x01, static_cast<char>(0xab), 0x7f};
    sutil::DumpRawData(raw, 3, 2);
    EXPECT_NE(cap.take().find("[DumpRawData] [Write(3)] [ 01 ab 7f ]"), std::string::npos);

    EXPECT_EQ(strlen(sutil::GetUtcTimeStamp()), strlen("2025-01-01 00:00:00 GMT"));
}
