// hv-recovery-tool run as a program: the recovery frame, its retries, the
// prompts on the screen and every exit status.

#include "MicomHarness.h"

#include <gtest/gtest.h>

#include <memory>

using namespace micomtest;

namespace {

const std::string kTool = HOLVIK_RECOVERY_TOOL;
const std::string kModeSet = "/etc/hv_recovery/recovery_mode_set.bmp";
const std::string kUsbCheck = "/etc/hv_recovery/recovery_usb_check.bmp";
const std::string kMicomCheck = "/run/media/sda1/update/kv_upgrade_image/recovery_micom_file_check.bmp";
const std::string kKernelCheck = "/run/media/sda1/update/kv_upgrade_image/recovery_kernel_file_check.bmp";

// 0 = black screen (nothing drawn), otherwise the width of the picture shown.
int shownWidth(const TempRoot& root)
{
    if (readFile(root.at("/dev/fb0")) == std::vector<uint8_t>(kFbBytes, 0))
        return 0;
    for (int w : {11, 12, 13, 14})
        if (screenShows(root, w))
            return w;
    return -1;
}

std::vector<uint8_t> recoveryFrame(uint8_t v)
{
    return {0xFA, 0x01, 0x41, 0x00, 0x01, v, 0x00, 0xFE};
}

}  // namespace

TEST(RecoveryTool, ActionsExitStatusesAndPictures)
{
    enum Port { Answering, Silent, NoPort };
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Port port;
        bool pictures;
        int status;
        std::vector<uint8_t> sent;  // the one frame value sent, repeated `frames` times
        size_t frames;
        int shown;
        const char* message;
    };
    const Case cases[] = {
        {"set 1", {"1", "1"}, Answering, true, 0, recoveryFrame(1), 1, 11, "Recovery mode set success"},
        {"set 0 shows nothing", {"1", "0"}, Answering, true, 0, recoveryFrame(0), 1, 0, "value=0"},
        {"value's low byte", {"1", "300"}, Answering, true, 0, recoveryFrame(44), 1, 0, "value=44"},
        {"no answer", {"1", "1"}, Silent, true, 255, recoveryFrame(1), 4, 11, "Recovery mode set fail... Retry 2"},
        {"no answer, no picture", {"1", "1"}, Silent, false, 255, recoveryFrame(1), 4, 0, "failed to open"},
        {"picture missing", {"1", "1"}, Answering, false, 0, recoveryFrame(1), 1, 0, "failed to open"},
        {"no port", {"1", "1"}, NoPort, true, 255, {}, 0, 0, "tty driver open error!!"},
        {"value missing", {"1"}, Answering, true, 255, {}, 0, 0, "recovery value missing"},
        {"no action", {}, Answering, true, 255, {}, 0, 0, "Recovery update mode -->"},
        {"unknown action", {"9"}, Answering, true, 255, {}, 0, 0, "Recovery update mode -->"},
        {"usb check", {"2"}, Answering, true, 0, {}, 0, 12, "Recovery update mode -->"},
        {"micom file check", {"3"}, Answering, true, 0, {}, 0, 13, "Recovery update mode -->"},
        {"kernel file check", {"4"}, Answering, true, 0, {}, 0, 14, "Recovery update mode -->"},
        {"usb check picture missing", {"2"}, Answering, false, 255, {}, 0, 0, "failed to open"},
        {"micom check picture missing", {"3"}, Answering, false, 255, {}, 0, 0, "failed to open"},
        {"kernel check picture missing", {"4"}, Answering, false, 255, {}, 0, 0, "failed to open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        std::unique_ptr<Sim> sim;
        if (c.port == Answering)
            sim.reset(new Sim(root));
        if (c.port == Silent)
            sim.reset(new Sim(root, {"--drop", "0-"}));
        if (c.pictures) {
            putPicture(root, kModeSet, 11);
            putPicture(root, kUsbCheck, 12);
            putPicture(root, kMicomCheck, 13);
            putPicture(root, kKernelCheck, 14);
        }
        const ToolRun r = runTool(kTool, c.args, root);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(shownWidth(root), c.shown);
        if (!sim)
            continue;
        sim->stop();
        const auto frames = sim->frames();
        ASSERT_EQ(frames.size(), c.frames);
        for (const Frame& f : frames)
            EXPECT_EQ(hex(f.bytes), hex(c.sent));
        // Four tries of 500 ms each: the run cannot be shorter, however
        // loaded the machine (the spacing itself is the protocol test's).
        if (c.frames == 4) {
            EXPECT_GE(r.seconds, 2.0);
        }
    }
}
