// The USB detector over the bus-state file: changes reported once, lines it
// must ignore, and a detector that is started, stopped and started again.

#include "ISDBtDevDetectHandler.h"
#include "TestDevRoot.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

using holvik_test::TestDevRoot;
using holvik_test::writeFile;

QCoreApplication* app()
{
    static int argc = 1;
    static char name[] = "bootlogo-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return instance;
}

// Statuses as the engine receives them: queued into the test's thread.
struct Seen : QObject {
    std::vector<int> statuses;
    explicit Seen(ISDBtDevDetectHandler* d)
    {
        QObject::connect(d, &ISDBtDevDetectHandler::sendUsbDetectStatus, this,
                         [this](int s) { statuses.push_back(s); }, Qt::QueuedConnection);
    }
    bool waitFor(size_t count) { return QTest::qWaitFor([&] { return statuses.size() >= count; }, 20000); }
};

TEST(DevDetect, EachStateChangeIsReportedOnceAndOtherLinesNothing)
{
    app();
    ISDBtDevDetectHandler detector;
    Seen seen(&detector);
    const struct {
        const char* line;
        int reported;  // -1 nothing
    } steps[] = {
        {"BUS CONNECTED = 0X1", 1},
        {"BUS CONNECTED = 0X1", -1},
        {"BUS CONNECTED = 0X0", 0},
        {"BUS CONNECTED = 0x1", -1},       // passes the upper-case check, not the split
        {"BUS CONNECTED = 0", -1},         // too short
        {"", -1},
        {"USB CONNECTED = 0X1", -1},
        {"BUS CONNECTED = 0X1 = 0X1", -1}, // three parts
        {"bus connected = 0X12", 12},
        {"BUS CONNECTED = 0Xzz", 0},       // not a number reads as 0
    };
    std::vector<int> want;
    for (const auto& s : steps) {
        detector.parsingDwcOtgBus(QString::fromLatin1(s.line));
        if (s.reported >= 0)
            want.push_back(s.reported);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.statuses, want);
}

TEST(DevDetect, StartsStopsAndStartsAgain)
{
    app();
    TestDevRoot root;
    const std::string bus = root.path("/sys/devices/dwc_otg/busconnected");
    writeFile(bus, "BUS CONNECTED = 0X1\n");
    ISDBtDevDetectHandler detector;
    Seen seen(&detector);

    // Not polling until asked: the loop runs, nothing is read.
    detector.startDetect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return detector.isRunning(); }, 20000));
    detector.setCheckUsb(true);
    ASSERT_TRUE(seen.waitFor(1));
    EXPECT_EQ(seen.statuses, std::vector<int>{1});

    detector.stop();
    ASSERT_TRUE(detector.wait(20000));
    writeFile(bus, "BUS CONNECTED = 0X0\n");

    detector.startDetect();
    ASSERT_TRUE(seen.waitFor(2));
    EXPECT_EQ(seen.statuses, (std::vector<int>{1, 0}));
    EXPECT_TRUE(detector.isRunning());

    // A start right after a stop keeps (or restarts) the loop either way.
    detector.stop();
    detector.startDetect();
    writeFile(bus, "BUS CONNECTED = 0X1\n");
    ASSERT_TRUE(seen.waitFor(3));
    EXPECT_EQ(seen.statuses, (std::vector<int>{1, 0, 1}));
    EXPECT_TRUE(detector.isRunning());

    // Paused: the loop goes on, the file is not read.
    detector.setCheckUsb(false);
    writeFile(bus, "BUS CONNECTED = 0X0\n");
    detector.stop();
    ASSERT_TRUE(detector.wait(20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.statuses.size(), 3u);
}

TEST(DevDetect, MissingBusFileReportsNothingAndKeepsPolling)
{
    app();
    TestDevRoot root;
    ISDBtDevDetectHandler detector;
    Seen seen(&detector);
    detector.setCheckUsb(true);
    detector.startDetect();
    writeFile(root.path("/sys/devices/dwc_otg/busconnected"), "BUS CONNECTED = 0X1\n");
    ASSERT_TRUE(seen.waitFor(1));
    EXPECT_EQ(seen.statuses, std::vector<int>{1});
}

}  // namespace
