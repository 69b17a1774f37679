#pragma once
// A Qt application, a development root and a signal recorder shared by the
// tests of the player wrapper. The wrapper is a process singleton, so one
// development root serves the whole test program; each test releases the
// engine again.

#include "BroadcastSim.h"
#include "KvrOzbFSegPlayer.h"
#include "TestDevRoot.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QVariantList>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

struct Signal {
    QString name;
    QVariantList args;
    bool onGuiThread;
};

// Records every signal of the wrapper, as delivered to a receiver on the GUI
// thread.
class SignalLog : public QObject {
    Q_OBJECT
public:
    explicit SignalLog(KvrOzbFSegPlayer* player);
    std::vector<Signal> all() const { return m_signals; }
    std::vector<Signal> named(const QString& name) const;
    // Signal names in arrival order, without the listed ones.
    QStringList names(const QStringList& skip = {}) const;
    void clear() { m_signals.clear(); }

private:
    void add(const char* name, QVariantList args);
    std::vector<Signal> m_signals;
};

// Runs the Qt event loop until `done` or the timeout; false on timeout.
bool spinUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the event loop for a while (lets queued signals arrive).
void spinFor(int ms);
// Waits until the engine has handled everything sent to it, then delivers
// the signals its handlers queued for the GUI thread.
void deliverQueued();

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Creates, prepares and scans with the test scenario; the channel list is written.
    void startAndScan();
    // The engine's channel-table id of a service.
    int rowId(int channel, int serviceID) const;
    void tune(int channel, int serviceID, int segType = 0);

    static holvik_test::TestDevRoot* s_root;
    KvrOzbFSegPlayer* m_player = nullptr;
    SignalLog* m_log = nullptr;
};

// The scenario of these tests (short delays, a relayed station with a large
// logo whose relay is received better, a station with a small logo).
extern const char* kPlayerScenario;
