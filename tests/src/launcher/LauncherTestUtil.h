#pragma once
// A private message bus and the launcher stand-in for one test: the bus runs
// in a temporary folder of the test's own with an allow-all configuration,
// DBUS_SYSTEM_BUS_ADDRESS points at it for the test's lifetime, and the
// stand-in's printed lines can be awaited. Waits process Qt events, so
// queued signals and timers of the code under test run meanwhile.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace launcher_test {

// Processes Qt events until `done` holds or `timeoutMs` passed; the result of
// `done` at the end.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ok() const { return m_ok; }
    QString address() const { return m_address; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    bool m_ok = false;
};

class LauncherStandIn {
public:
    // Starts the stand-in on the bus of DBUS_SYSTEM_BUS_ADDRESS and waits for
    // its "ready" line.
    explicit LauncherStandIn(const QStringList& arguments = QStringList());
    ~LauncherStandIn();
    LauncherStandIn(const LauncherStandIn&) = delete;
    LauncherStandIn& operator=(const LauncherStandIn&) = delete;

    bool ok() const { return m_ok; }
    // One command line (see holvik-launcher).
    void send(const QString& command);
    // The lines so far, without their time stamps.
    QStringList lines();
    // Lines printed with their time stamps (seconds of the monotonic clock).
    QList<QPair<double, QString>> stampedLines();
    // Waits until some line, from `from` on, equals `line`; its index or -1.
    int waitForLine(const QString& line, int from = 0, int timeoutMs = 20000);
    int count(const QString& line);

private:
    void readAll();

    QProcess m_process;
    QByteArray m_pending;
    QList<QPair<double, QString>> m_lines;
    bool m_ok = false;
};

}  // namespace launcher_test
