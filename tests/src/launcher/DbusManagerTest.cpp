// The launcher link on a private bus: every sender reaches the launcher
// stand-in with its arguments, every launcher signal becomes its Qt signal
// (off the GUI thread, as the client library calls back on its own), and
// signals that are not ours, or lack their argument, are dropped.

#include "ISDBtDbusManager.h"
#include "LauncherTestUtil.h"
#include "StdoutCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

using holvik_test::StderrCapture;
using launcher_test::LauncherStandIn;
using launcher_test::PrivateBus;
using launcher_test::waitUntil;

namespace {

constexpr int kAppId = 5;

QCoreApplication* app()
{
    static int argc = 1;
    static char name[] = "launcher-link-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return instance;
}

struct Link
{
    Link()
    {
        launcher = std::make_unique<LauncherStandIn>();
        manager = std::make_unique<ISDBtDbusManager>(kAppId);
        manager->init();
    }
    ~Link()
    {
        manager.reset();
        launcher.reset();
    }
    QCoreApplication* application = app();
    PrivateBus bus;
    std::unique_ptr<LauncherStandIn> launcher;
    std::unique_ptr<ISDBtDbusManager> manager;
};

TEST(LauncherLink, EverySenderReachesTheLauncherWithItsArguments)
{
    Link l;
    ASSERT_TRUE(l.bus.ok());
    ASSERT_TRUE(l.launcher->ok());
    ISDBtDbusManager* m = l.manager.get();
    const struct {
        std::function<void()> send;
        const char* line;
    } cases[] = {
        {[m] { m->SendDBusActiveApplication(3, 1); }, "call method_launcher_active_application(3, 1)"},
        {[m] { m->SendDBusShowApplication(4); }, "call method_launcher_show_application(4)"},
        {[m] { m->SendDBusHideApplication(6); }, "call method_launcher_hide_application(6)"},
        {[m] { m->SendDBusSetRunning(kAppId, 1); }, "call method_launcher_set_running(5, 1)"},
        {[m] { m->SendDBusSetRunning(kAppId, 0); }, "call method_launcher_set_running(5, 0)"},
        {[m] { m->SendDBusResponseAlive(kAppId); }, "call method_launcher_response_alive(5)"},
        {[m] { m->SendDBusRequestPowerMode(0, 0); }, "call method_launcher_request_power_mode(0, 0)"},
        {[m] { m->SendDBusSetCurrentPower(1); }, "call method_launcher_set_current_power(1)"},
        {[m] { m->SendDBusResponsePowerDownControl(); }, "call method_launcher_response_power_down_control(0)"},
        {[m] { m->SendDBusSetCheckAlive(0); }, "call method_launcher_set_check_alive(0)"},
    };
    int from = 0;
    for (const auto& c : cases) {
        c.send();
        const int at = l.launcher->waitForLine(c.line, from);
        EXPECT_GE(at, 0) << c.line;
        if (at >= 0)
            from = at + 1;
    }
}

TEST(LauncherLink, LauncherSignalsBecomeQtSignalsOffTheGuiThread)
{
    Link l;
    ASSERT_TRUE(l.bus.ok());
    ASSERT_TRUE(l.launcher->ok());
    ISDBtDbusManager* m = l.manager.get();
    // The signals come from the library's thread; a mirror on the GUI thread
    // receives them queued, as the engine does, and the spies watch it.
    ISDBtDbusManager mirror(kAppId);
    for (const char* sig : {SIGNAL(sendKeyReceive(int, int)), SIGNAL(sendRequestAlive()),
                            SIGNAL(sendResponsePowerMode(int)), SIGNAL(sendRequestPowerDownControl()),
                            SIGNAL(sendRequestHPDControl(int)), SIGNAL(sendTouchPosition(int, int))})
        QObject::connect(m, sig, &mirror, sig);
    QSignalSpy keys(&mirror, SIGNAL(sendKeyReceive(int, int)));
    QSignalSpy alive(&mirror, SIGNAL(sendRequestAlive()));
    QSignalSpy power(&mirror, SIGNAL(sendResponsePowerMode(int)));
    QSignalSpy powerDown(&mirror, SIGNAL(sendRequestPowerDownControl()));
    QSignalSpy hpd(&mirror, SIGNAL(sendRequestHPDControl(int)));
    QSignalSpy touch(&mirror, SIGNAL(sendTouchPosition(int, int)));
    // 1: emitted off the GUI thread, 2: on it.
    std::atomic<int> emittedOn{0};
    QObject::connect(
        m, &ISDBtDbusManager::sendKeyReceive, m,
        [&] {
            if (emittedOn.load() == 0)
                emittedOn = QThread::currentThread() != app()->thread() ? 1 : 2;
        },
        Qt::DirectConnection);

    auto waitCount = [](QSignalSpy& spy, int n) { return waitUntil([&] { return spy.count() >= n; }); };

    l.launcher->send("press 14");
    ASSERT_TRUE(waitCount(keys, 1));
    EXPECT_EQ(keys[0], (QVariantList{1, 14}));
    EXPECT_TRUE(waitUntil([&] { return emittedOn.load() != 0; }));
    EXPECT_EQ(emittedOn.load(), 1);
    l.launcher->send("release 14");
    ASSERT_TRUE(waitCount(keys, 2));
    EXPECT_EQ(keys[1], (QVariantList{2, 14}));

    // Signals of one sender arrive in order: the key after each request
    // shows that the request has been handled.
    l.launcher->send("alive 4");
    l.launcher->send("press 3");
    ASSERT_TRUE(waitCount(keys, 3));
    EXPECT_EQ(alive.count(), 0) << "another application's alive request";
    l.launcher->send("alive 5");
    ASSERT_TRUE(waitCount(alive, 1));

    l.launcher->send("powermode 1");
    m->SendDBusRequestPowerMode(0, 0);
    ASSERT_TRUE(waitCount(power, 1));
    EXPECT_EQ(power[0][0].toInt(), 1) << "get answer";
    m->SendDBusRequestPowerMode(1, 0);
    ASSERT_TRUE(waitCount(power, 2));
    EXPECT_EQ(power[1][0].toInt(), 0) << "set answer";

    l.launcher->send("powerdown");
    ASSERT_TRUE(waitCount(powerDown, 1));
    l.launcher->send("hpd 0");
    ASSERT_TRUE(waitCount(hpd, 1));
    EXPECT_EQ(hpd[0][0].toInt(), 0);
    l.launcher->send("touch 640 360");
    ASSERT_TRUE(waitCount(touch, 1));
    EXPECT_EQ(touch[0], (QVariantList{640, 360}));

    // Without their arguments, or with the wrong ones, the signals are dropped.
    l.launcher->send("raw signal_launcher_isdbt_remocon_press");
    l.launcher->send("raw signal_launcher_isdbt_touch_position 5");
    l.launcher->send("raw signal_launcher_request_power_down_control");
    l.launcher->send("raw signal_launcher_show_application");
    l.launcher->send("raw signal_launcher_unknown 1");
    l.launcher->send("press 22");
    ASSERT_TRUE(waitCount(keys, 4));
    EXPECT_EQ(keys[3], (QVariantList{1, 22}));
    EXPECT_EQ(touch.count(), 1);
    EXPECT_EQ(powerDown.count(), 1);
}

// The command-line form a person uses beside a running launcher stand-in.
TEST(LauncherLink, OneShotSendModeDeliversKeysAndHolds)
{
    Link l;
    ASSERT_TRUE(l.bus.ok());
    ISDBtDbusManager mirror(kAppId);
    QObject::connect(l.manager.get(), SIGNAL(sendKeyReceive(int, int)), &mirror, SIGNAL(sendKeyReceive(int, int)));
    QSignalSpy keys(&mirror, SIGNAL(sendKeyReceive(int, int)));
    auto sendOnce = [](const QStringList& words) {
        QProcess p;
        p.start(QStringLiteral(HOLVIK_LAUNCHER_PROGRAM), QStringList{"--send"} + words);
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    EXPECT_TRUE(sendOnce({"press", "14"}));
    EXPECT_TRUE(sendOnce({"hold", "22", "50"}));
    EXPECT_FALSE(sendOnce({"press", "x"})) << "not a number";
    EXPECT_FALSE(sendOnce({"jump"})) << "not a command";
    ASSERT_TRUE(waitUntil([&] { return keys.count() >= 3; }));
    EXPECT_EQ(keys[0], (QVariantList{1, 14}));
    EXPECT_EQ(keys[1], (QVariantList{1, 22}));
    EXPECT_EQ(keys[2], (QVariantList{2, 22}));
}

// The receive callback on messages built here, without a bus.
TEST(LauncherLink, CallbackTellsOursFromOthers)
{
    app();
    ISDBtDbusManager m(kAppId);
    QSignalSpy keys(&m, SIGNAL(sendKeyReceive(int, int)));
    auto signal = [](const char* interfaceName, const char* name) {
        return dbus_message_new_signal("/holvik/launcher/process", interfaceName, name);
    };
    DBusMessage* other = signal("other.event", "signal_launcher_isdbt_remocon_press");
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(other, "other.event"), 1);
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(nullptr, "launcher.event"), 0);
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(other, nullptr), 0);
    DBusMessage* unknown = signal("launcher.event", "signal_launcher_unknown");
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(unknown, "launcher.event"), 1);
    DBusMessage* press = signal("launcher.event", "signal_launcher_isdbt_remocon_press");
    const dbus_int32_t key = 15;
    dbus_message_append_args(press, DBUS_TYPE_INT32, &key, DBUS_TYPE_INVALID);
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(press, "launcher.event"), 0);
    ASSERT_EQ(keys.count(), 1);
    EXPECT_EQ(keys[0], (QVariantList{1, 15}));
    // Out of the table and null messages only log.
    m.LauncherSignalDBusProcess(11, press);
    m.LauncherSignalDBusProcess(2, nullptr);
    EXPECT_EQ(keys.count(), 1);
    for (DBusMessage* msg : {other, unknown, press})
        dbus_message_unref(msg);

    EXPECT_STREQ(g_signalLauncherEventNames[10], "") << "the empty last entry is a string";
    EXPECT_EQ(g_methodLauncherEventNames[8], nullptr);
}

// Without a system bus the program goes on: the link's calls return, each
// sender reports its failure, the link still turns a launcher signal into its
// Qt signal, and releasing it twice is harmless.
TEST(LauncherLink, NoBusLeavesTheProgramRunning)
{
    app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir.path() + "/none").toLocal8Bit());
    ISDBtDbusManager m(kAppId);
    QSignalSpy keys(&m, SIGNAL(sendKeyReceive(int, int)));
    StderrCapture err;
    m.init();
    m.SendDBusSetRunning(kAppId, 1);
    m.SendDBusRequestPowerMode(0, 0);
    const std::string reported = err.take();
    EXPECT_NE(reported.find("SendDBusSetRunning : SendDBusMessage failed\n"), std::string::npos) << reported;
    EXPECT_NE(reported.find("SendDBusRequestPowerMode : SendDBusMessage failed\n"), std::string::npos) << reported;

    DBusMessage* press =
        dbus_message_new_signal("/holvik/launcher/process", "launcher.event", "signal_launcher_isdbt_remocon_press");
    const dbus_int32_t key = 14;
    dbus_message_append_args(press, DBUS_TYPE_INT32, &key, DBUS_TYPE_INVALID);
    EXPECT_EQ(ISDBtDbusManager::OnReceiveDBusSignal(press, "launcher.event"), 0);
    dbus_message_unref(press);
    ASSERT_EQ(keys.count(), 1);
    EXPECT_EQ(keys[0], (QVariantList{1, 14}));

    m.release();
    m.release();
    qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
