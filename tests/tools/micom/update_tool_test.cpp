// hv-micom-update-tool run as a program against the simulated
// microcontroller, with the USB stick, pictures and version file in a
// temporary development root.

#include "MicomHarness.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <random>
#include <stdexcept>
#include <thread>

using namespace micomtest;

namespace {

const std::string kTool = HOLVIK_MICOM_UPDATE_TOOL;
const std::string kStick = "/run/media/sda1/update/";
const std::string kStickPics = kStick + "kv_upgrade_image/";
const std::string kBoardPics = "/etc/kv_upgrade_image/";

std::vector<uint8_t> image(size_t size)
{
    std::mt19937 rng(static_cast<unsigned>(size));
    std::vector<uint8_t> v(size);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

bool isFrame(const Frame& f, uint8_t group, uint8_t sub)
{
    return f.bytes.size() >= 6 && f.bytes[2] == group && (group == 0x48 || f.bytes[5] == sub);
}

size_t count(const std::vector<Frame>& frames, uint8_t group, uint8_t sub)
{
    size_t n = 0;
    for (const Frame& f : frames)
        n += isFrame(f, group, sub);
    return n;
}

size_t occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

const std::vector<uint8_t> kGetMode = {0xFA, 0x01, 0x47, 0x00, 0x01, 0x01, 0x00, 0xFE};
const std::vector<uint8_t> kSetUpdate = {0xFA, 0x01, 0x47, 0x00, 0x02, 0x02, 0x03, 0x00, 0xFE};
const std::vector<uint8_t> kSetNormal = {0xFA, 0x01, 0x47, 0x00, 0x02, 0x02, 0x00, 0x00, 0xFE};
const std::vector<uint8_t> kStart = {0xFA, 0x01, 0x47, 0x00, 0x01, 0x03, 0x00, 0xFE};
const std::vector<uint8_t> kEnd = {0xFA, 0x01, 0x47, 0x00, 0x01, 0x05, 0x00, 0xFE};

}  // namespace

TEST(UpdateTool, TwoRunUpdateSendsTheImageFromOffset0x4000PaddedWithErasedBytes)
{
    TempRoot root;
    Sim sim(root, {"--mode", "0"});
    // 1000 bytes after the header: three full chunks and one of 232 bytes.
    const auto img = image(0x4000 + 1000);
    writeFile(root.at(kStick + "micom.bin"), img);
    putPicture(root, kStickPics + "micom_updating_start.bmp", 10);
    putPicture(root, kStickPics + "micom_updating_modechange.bmp", 20);
    putPicture(root, kStickPics + "micom_updating_end.bmp", 30);

    const ToolRun first = runTool(kTool, {}, root);
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("Micom is Nomal Mode... "), std::string::npos) << first.out;
    EXPECT_TRUE(screenShows(root, 20));
    EXPECT_GE(first.seconds, 5.9);  // the mode-change picture stays 6 seconds
    auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(hex(frames[0].bytes), hex(kGetMode));
    EXPECT_EQ(hex(frames[1].bytes), hex(kSetUpdate));
    EXPECT_EQ(sim.mode(), 3);

    const ToolRun second = runTool(kTool, {}, root);
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("file pos 16384 "), std::string::npos) << second.out;
    EXPECT_NE(second.out.find("File read Ok. read len 232. file pos 17384 !!! "), std::string::npos);
    EXPECT_NE(second.out.find("File read End. read len 0 !!! "), std::string::npos);
    EXPECT_TRUE(screenShows(root, 30));
    frames = sim.frames();
    ASSERT_EQ(frames.size(), 2u + 7u);
    EXPECT_EQ(hex(frames[2].bytes), hex(kGetMode));
    EXPECT_EQ(hex(frames[3].bytes), hex(kStart));
    for (size_t i = 4; i < 8; ++i)
        EXPECT_EQ(frames[i].bytes.size(), 264u) << i;
    EXPECT_EQ(hex(frames[8].bytes), hex(kEnd));
    // The end frame follows the end picture's 5 seconds.
    EXPECT_GE(frames[8].ms - frames[7].ms, 4900);

    std::vector<uint8_t> want(img.begin() + 0x4000, img.end());
    want.resize(1024, 0xFF);
    EXPECT_TRUE(sim.firmware() == want);
    EXPECT_EQ(sim.mode(), 0);
}

TEST(UpdateTool, HeaderOnlyImageSendsStartAndEndWithoutChunks)
{
    TempRoot root;
    Sim sim(root, {"--mode", "3"});
    writeFile(root.at(kStick + "micom.bin"), image(0x4000));
    putPicture(root, kStickPics + "micom_updating_end.bmp", 30);
    const ToolRun r = runTool(kTool, {}, root);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(screenShows(root, 30));
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(hex(frames[1].bytes), hex(kStart));
    EXPECT_EQ(hex(frames[2].bytes), hex(kEnd));
    EXPECT_TRUE(sim.firmware().empty());
    EXPECT_EQ(sim.mode(), 0);
}

TEST(UpdateTool, NormalModeSwitchesToUpdateModeWithoutLookingForTheImage)
{
    // The first run of an update only switches modes (the controller then
    // resets the box); the image is the second run's business.
    TempRoot root;
    Sim sim(root, {"--mode", "0"});
    putPicture(root, kStickPics + "micom_updating_modechange.bmp", 20);
    const ToolRun r = runTool(kTool, {}, root);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Change Update Mode...And System Reset...  "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("find File"), std::string::npos) << r.out;
    EXPECT_TRUE(screenShows(root, 20));
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(hex(frames[0].bytes), hex(kGetMode));
    EXPECT_EQ(hex(frames[1].bytes), hex(kSetUpdate));
    EXPECT_EQ(sim.mode(), 3);
}

TEST(UpdateTool, UpdateModeWithoutAUsableImageSendsNothing)
{
    enum Kind { Missing, Directory, TooShort };
    struct Case {
        const char* name;
        Kind kind;
    };
    const Case cases[] = {
        {"no image", Missing},
        {"image is a folder", Directory},
        {"image shorter than its header", TooShort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        Sim sim(root, {"--mode", "3"});
        if (c.kind == Directory)
            makeDirs(root.at(kStick + "micom.bin"));
        if (c.kind == TooShort)
            writeFile(root.at(kStick + "micom.bin"), image(0x3FFF));
        const ToolRun r = runTool(kTool, {}, root);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("find File..... "), std::string::npos) << r.out;
        const auto frames = sim.frames();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(hex(frames[0].bytes), hex(kGetMode));
        EXPECT_EQ(sim.mode(), 3);
    }
}

TEST(UpdateTool, SlowChunkAcknowledgementIsWaitedFor)
{
    // The controller holds its answer to chunk 1 until the test lets it go:
    // the tool keeps waiting, sends nothing more meanwhile, and then
    // finishes the update.
    TempRoot root;
    Sim sim(root, {"--mode", "3", "--hold-chunk", "1"});
    writeFile(root.at(kStick + "micom.bin"), image(0x4000 + 600));
    putPicture(root, kStickPics + "micom_updating_end.bmp", 30);
    pid_t pid;
    int fd;
    startTool(kTool, {}, root, &pid, &fd);
    // Get mode, start, chunk 0, chunk 1.
    EXPECT_TRUE(sim.waitForFrames(4));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the tool ended";
    EXPECT_EQ(sim.frames().size(), 4u);
    sim.release();
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fd);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    const auto frames = sim.frames();
    EXPECT_EQ(count(frames, 0x47, 0x04), 3u);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(hex(frames.back().bytes), hex(kEnd));
    EXPECT_TRUE(screenShows(root, 30));
    EXPECT_EQ(sim.mode(), 0);
}

TEST(UpdateTool, ControllerGoneDuringAnAcknowledgementIsNamedAHangUp)
{
    // The controller holds its answer to chunk 1 and then goes away: the
    // tool says that the port hung up while it waited (nothing failed to be
    // written), sends no end frame and fails.
    TempRoot root;
    Sim sim(root, {"--mode", "3", "--hold-chunk", "1"});
    writeFile(root.at(kStick + "micom.bin"), image(0x4000 + 600));
    pid_t pid;
    int fd;
    startTool(kTool, {}, root, &pid, &fd);
    // Get mode, start, chunk 0, chunk 1.
    EXPECT_TRUE(sim.waitForFrames(4));
    sim.stop();
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fd);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    EXPECT_NE(out.find("Micom update failed: serial port hung up while waiting for an acknowledgement\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("write error"), std::string::npos) << out;
    const auto frames = sim.frames();
    EXPECT_EQ(frames.size(), 4u);
    EXPECT_EQ(count(frames, 0x47, 0x05), 0u);
}

TEST(UpdateTool, ExitStatusIsTheEndPicturesDrawingNotTheAnswers)
{
    // An update run that sent the image ends with the end picture's drawing
    // (-1, so 255, when it is missing); a mode switch without an answer and
    // a version file that cannot be written end normally.
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        std::vector<std::string> args;
        bool image;            // a 300-byte image after the header on the stick
        bool removeHomeRoot;   // no folder for the version file
        int status;
        const char* message;
        std::vector<uint8_t> lastFrame;
        size_t frames;
        int modeAfter;
    };
    const Case cases[] = {
        {"end picture missing", {"--mode", "3"}, {}, true, false, 255, "failed to open", kEnd, 5, 0},
        {"switch to update mode unanswered", {"--mode", "0", "--drop", "1"}, {}, false, false, 0,
         "Update Mode Set Fail..... ", kSetUpdate, 2, 3},
        {"switch back to normal mode unanswered", {"--mode", "3", "--drop", "1"}, {"1"}, false, false, 0,
         "Update Mode Set Fail..... ", kSetNormal, 2, 0},
        {"version file cannot be written", {}, {"2"}, false, true, 0, "can't write",
         {0xFA, 0x01, 0x48, 0x00, 0x00, 0x00, 0xFE}, 1, 0},
    };
    struct Outcome {
        ToolRun run;
        std::vector<Frame> frames;
        int mode = -1;
    };
    // The cases wait out the tools' picture pauses side by side.
    std::vector<std::future<Outcome>> runs;
    for (const Case& c : cases)
        runs.push_back(std::async(std::launch::async, [&c] {
            TempRoot root;
            Sim sim(root, c.simOptions);
            if (c.image)
                writeFile(root.at(kStick + "micom.bin"), image(0x4000 + 300));
            if (c.removeHomeRoot && std::system(("rm -rf '" + root.at("/home/root") + "'").c_str()) != 0)
                throw std::runtime_error("cannot remove home/root");
            Outcome o;
            o.run = runTool(kTool, c.args, root);
            sim.stop();
            o.frames = sim.frames();
            o.mode = sim.mode();
            return o;
        }));
    for (size_t i = 0; i < runs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const Outcome o = runs[i].get();
        EXPECT_EQ(o.run.status, c.status) << o.run.out;
        EXPECT_NE(o.run.out.find(c.message), std::string::npos) << o.run.out;
        ASSERT_EQ(o.frames.size(), c.frames);
        EXPECT_EQ(hex(o.frames.back().bytes), hex(c.lastFrame));
        EXPECT_EQ(o.mode, c.modeAfter);
    }
}

TEST(UpdateTool, SilentControllerIsNotUpdated)
{
    TempRoot root;
    Sim sim(root, {"--drop", "0-"});
    writeFile(root.at(kStick + "micom.bin"), image(0x4000 + 16));
    const ToolRun r = runTool(kTool, {}, root);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Micom Mode 255 ... "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Micom update not support ...  "), std::string::npos);
    EXPECT_EQ(occurrences(r.out, "Micom Get Version Fail..... Retry "), 3u);
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    for (const Frame& f : frames)
        EXPECT_EQ(hex(f.bytes), hex(kGetMode));
}

TEST(UpdateTool, NoPortMeansExitOne)
{
    TempRoot root;
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"1"}, {"2"}}) {
        const ToolRun r = runTool(kTool, args, root);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(" tty driver Open Error ! "), std::string::npos) << r.out;
    }
}

TEST(UpdateTool, VersionFileHoldsTheWholeVersion)
{
    struct Case {
        std::vector<std::string> simOptions;
        std::string text;
    };
    const Case cases[] = {
        {{"--version", "1.2.3"}, "1.2.3"},
        {{"--version", "1.12.3"}, "1.12.3"},
        {{"--version", "255.255.255"}, "255.255.255"},
        {{"--drop", "0-"}, "N/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempRoot root;
        Sim sim(root, c.simOptions);
        // Longer old content must not survive.
        writeFile(root.at("/home/root/micom_ver.ini"), std::vector<uint8_t>(40, 'x'));
        const ToolRun r = runTool(kTool, {"2"}, root);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("       Micom Version is " + c.text + ".\n"), std::string::npos) << r.out;
        const auto file = readFile(root.at("/home/root/micom_ver.ini"));
        EXPECT_EQ(std::string(file.begin(), file.end()), c.text);
        EXPECT_EQ(sim.frames().size(), c.text == "N/A" ? 4u : 1u);
    }
}

TEST(UpdateTool, RecoveryCheckLeavesUpdateMode)
{
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        int status;
        size_t frames;
        int modeAfter;
    };
    const Case cases[] = {
        {"update mode goes back to normal", {"--mode", "3"}, 0, 2, 0},
        {"normal mode is left alone", {"--mode", "0"}, 0, 1, 0},
        {"unknown mode is left alone", {"--mode", "7"}, 0, 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        Sim sim(root, c.simOptions);
        putPicture(root, kBoardPics + "micom_updating_modechange.bmp", 50);
        const ToolRun r = runTool(kTool, {"1"}, root);
        EXPECT_EQ(r.status, c.status) << r.out;
        const auto frames = sim.frames();
        ASSERT_EQ(frames.size(), c.frames);
        EXPECT_EQ(hex(frames[0].bytes), hex(kGetMode));
        if (c.frames == 2) {
            EXPECT_EQ(hex(frames[1].bytes), hex(kSetNormal));
            EXPECT_GE(frames[1].ms - frames[0].ms, 2900);  // the picture stays 3 seconds first
            EXPECT_TRUE(screenShows(root, 50));
        }
        EXPECT_EQ(sim.mode(), c.modeAfter);
    }
}

TEST(UpdateTool, UnfinishedUpdateKeepsTheErrorPictureUp)
{
    TempRoot root;
    Sim sim(root, {"--mode", "2"});
    putPicture(root, kBoardPics + "micom_updating_Err1.bmp", 40);
    pid_t pid;
    int fd;
    startTool(kTool, {"1"}, root, &pid, &fd);
    bool shown = false;
    for (int i = 0; i < 200 && !shown; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown = screenShows(root, 40);
    }
    EXPECT_TRUE(shown);
    // Still there a while later.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the tool ended";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    std::string out;
    char buf[1024];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fd);
    EXPECT_NE(out.find("The micom update has not finished"), std::string::npos) << out;
    EXPECT_EQ(sim.frames().size(), 1u);
    EXPECT_EQ(sim.mode(), 2);
}

TEST(UpdateTool, OtherArgumentsDoNothing)
{
    TempRoot root;
    Sim sim(root);
    for (const char* arg : {"7", "0", "x"}) {
        const ToolRun r = runTool(kTool, {arg}, root);
        EXPECT_EQ(r.status, 0) << arg << r.out;
    }
    EXPECT_TRUE(sim.frames().empty());
}
