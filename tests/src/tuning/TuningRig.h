#pragma once
// The whole engine with its QML on a private bus, the launcher stand-in and
// the broadcast engine stand-in playing a scenario of this folder's own
// (fast timings, scripted reception). Keys from the launcher reach the QML,
// whose live-TV screen does the second step of every channel change.

#include "ISDBtAppEngine.h"
#include "LauncherTestUtil.h"
#include "TestDevRoot.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QTimer>

#include <memory>
#include <string>

namespace tuning_test {

using launcher_test::waitUntil;

QGuiApplication* guiApp();

class TestEngine : public ISDBtAppEngine
{
public:
    using ISDBtAppEngine::ISDBtAppEngine;
    QObject* qmlRoot() const;
    QObject* qmlChild(const char* name) const;
    bool enableSetChannel() const { return m_bEnableSetChannel; }
    bool bufferedRequest() const { return requestSetChannel.set; }
    bool handoverTimerActive() const { return m_pHandoverTimer->isActive(); }
    bool searchStartTimerActive() const { return m_pStationSearchStartTimer->isActive(); }
    bool scanCompletePending() const { return m_pScanCompleteTimer->isActive(); }
    int handoverTimerInterval() const { return m_pHandoverTimer->interval(); }
    bool videoErrorWatchdogActive() const { return m_pCheckVideoErrTimer->isActive(); }
    bool stationLogosFetched() const { return m_bStationLogosFetched; }
    void setClock(int mjd, int seconds)
    {
        m_nClockDate = mjd;
        m_nClockSeconds = seconds;
    }
    int clockDate() const { return m_nClockDate; }
    int clockSeconds() const { return m_nClockSeconds; }
    // What the single-shot timer's expiry does, without its three minutes.
    void expireHandoverTimer()
    {
        m_pHandoverTimer->stop();
        handoverTimerHandler();
    }
};

// Stations: R1 on channel 20 (full-seg and one-seg, relayed on 34, where it
// is received better than any profile the tests give the main transmitters),
// R4 on 24 (two full-seg services and a one-seg one), R5 on 27 (full-seg
// only).
std::string baseScenario();

struct RigOptions {
    std::string settings = "initialized=0\npowerOn=1\nmode=1\nbackgroundSearch=0\n";
    // Lines added to the scenario (signal profile, timing).
    std::string scenarioExtra = "signal 0 cnr=24.5 tot=2450 oneseg=2610 b0=2440 b1=2390 b2=2510 b3=2470 errA=0 "
                                "totA=1000 errB=0 totB=1000\n";
    bool frozenClock = false;
};

class TuningRig
{
public:
    explicit TuningRig(const RigOptions& options = RigOptions());
    ~TuningRig();

    bool waitForState(int state, int timeoutMs = 20000);
    // Runs the initial scan from the prompt's OK key and waits for the first
    // tune to complete (the signal poll running).
    bool initialScan();
    // Waits until a tune has completed and the poll runs again.
    bool waitTuned(int timeoutMs = 20000);
    int playerCalls(const std::string& prefix) const;
    // Waits until the stand-in has recorded `count` calls starting with prefix.
    bool waitCalls(const std::string& prefix, int count, int timeoutMs = 20000);

    QGuiApplication* app = guiApp();
    launcher_test::PrivateBus bus;
    holvik_test::TestDevRoot root;
    std::unique_ptr<launcher_test::LauncherStandIn> launcher;
    std::unique_ptr<QQmlEngine> qml;
    std::unique_ptr<TestEngine> engine;
};

}  // namespace tuning_test
