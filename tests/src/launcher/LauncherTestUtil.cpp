#include "LauncherTestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

namespace launcher_test {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

PrivateBus::PrivateBus()
{
    m_hadPrevious = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
    m_previous = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!m_dir.isValid())
        return;
    const QString socket = m_dir.path() + "/bus";
    // The daemon lives as long as the shell's input is open: when the test
    // ends, even by a crash, the pipe closes and the shell stops the daemon.
    m_daemon.setProgram(QStringLiteral("/bin/sh"));
    m_daemon.setArguments({QStringLiteral("-c"),
                           QStringLiteral("dbus-daemon --config-file=\"$1\" --address=\"$2\" --nofork --nopidfile "
                                          "--print-address & d=$!; cat > /dev/null; kill $d; wait $d"),
                           QStringLiteral("sh"), QStringLiteral(HOLVIK_BUS_CONFIG), "unix:path=" + socket});
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start();
    if (!m_daemon.waitForStarted(20000))
        return;
    // The daemon prints its address once it listens.
    QByteArray out;
    waitUntil([&] {
        out += m_daemon.readAllStandardOutput();
        return out.contains('\n') || m_daemon.state() != QProcess::Running;
    });
    if (!out.contains('\n'))
        return;
    m_address = QString::fromLocal8Bit(out.left(out.indexOf('\n'))).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit());
    m_ok = true;
}

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.closeWriteChannel();
        if (!m_daemon.waitForFinished(10000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
    }
    if (m_hadPrevious)
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_previous);
    else
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

LauncherStandIn::LauncherStandIn(const QStringList& arguments)
{
    m_process.setProgram(QStringLiteral(HOLVIK_LAUNCHER_PROGRAM));
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(20000))
        return;
    m_ok = waitForLine(QStringLiteral("ready")) >= 0;
}

LauncherStandIn::~LauncherStandIn()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
}

void LauncherStandIn::send(const QString& command)
{
    m_process.write((command + "\n").toLocal8Bit());
    m_process.waitForBytesWritten(10000);
}

void LauncherStandIn::readAll()
{
    m_pending += m_process.readAllStandardOutput();
    int eol;
    while ((eol = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m_pending.left(eol));
        m_pending.remove(0, eol + 1);
        // "[  12.345678] text"
        const int close = line.indexOf(']');
        if (line.startsWith('[') && close > 0)
            m_lines.append({line.mid(1, close - 1).trimmed().toDouble(), line.mid(close + 2)});
        else
            m_lines.append({0.0, line});
    }
}

QStringList LauncherStandIn::lines()
{
    readAll();
    QStringList out;
    for (const auto& l : m_lines)
        out << l.second;
    return out;
}

QList<QPair<double, QString>> LauncherStandIn::stampedLines()
{
    readAll();
    return m_lines;
}

int LauncherStandIn::waitForLine(const QString& line, int from, int timeoutMs)
{
    int found = -1;
    waitUntil(
        [&] {
            readAll();
            for (int i = from; i < m_lines.size(); ++i) {
                if (m_lines[i].second == line) {
                    found = i;
                    return true;
                }
            }
            return m_process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return found;
}

int LauncherStandIn::count(const QString& line)
{
    return lines().count(line);
}

}  // namespace launcher_test
