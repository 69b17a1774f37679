#pragma once
// The whole engine on a private bus with the launcher stand-in, the broadcast
// engine stand-in and a channel database of its own: the start-up code's
// construct, init() and start(). The QML's part in the key path is played by
// a filter on the view that records the key events reaching it and, as the
// root window does, asks the engine for the power toggle on the POWER key.

#include "ISDBtAppEngine.h"
#include "LauncherTestUtil.h"
#include "TestDevRoot.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QObject>
#include <QQmlEngine>
#include <QQuickView>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace launcher_test {

constexpr int kAppId = 5;

QGuiApplication* guiApp();

// Opens the engine's protected state to the tests.
class TestEngine : public ISDBtAppEngine
{
public:
    using ISDBtAppEngine::ISDBtAppEngine;
    QQuickView* view() const { return m_pView; }
    bool inProcessing() const { return m_bInProcessing; }
    bool powerOn() const { return m_bPowerOn; }
    bool hpdChanged() const { return m_bHPDChanged; }
    bool powerOffAfterSetChannel() const { return m_bPowerOffAfterSetChannel; }
    void setEnableSetChannel(bool on) { m_bEnableSetChannel = on; }
    void setInProcessing(bool on) { m_bInProcessing = on; }
    void setFactoryMode(bool on) { m_bFactoryMode = on; }
    bool factoryMode() const { return m_bFactoryMode; }
    QTimer* aliveTimer() const { return m_pAliveCheckTimer; }
    QTimer* longPressTimer() const { return m_pKeyTimer; }
    ISDBtThread* jobThread() const { return m_pJobThread; }
};

// One key event that reached the view.
struct SeenKey {
    QEvent::Type type;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool operator==(const SeenKey& o) const { return type == o.type && key == o.key && modifiers == o.modifiers; }
};

class ViewKeys : public QObject
{
public:
    // With `toQml` the keys go on to the screens, which answer them
    // themselves; otherwise they stop here.
    ViewKeys(TestEngine* engine, bool toQml) : m_engine(engine), m_toQml(toQml) {}
    std::vector<SeenKey> keys;
    int mousePresses = 0;
    int mouseReleases = 0;
    QPointF lastMouse;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TestEngine* m_engine;
    bool m_toQml;
};

struct EngineOptions {
    std::string settings = "initialized=1\npowerOn=1\nmode=0\nhomeRemoconID=4\nhomeSubChannel=1\n";
    // Contents of factory.ini; none when empty.
    std::string factory;
    // The broadcast stand-in's delay before the prepared event; 0 never.
    int prepareMs = 300;
    // The keys reach the root window's screens instead of stopping at the view.
    bool keysToQml = false;
};

class EngineRig
{
public:
    explicit EngineRig(const EngineOptions& options = EngineOptions());
    ~EngineRig();

    bool waitForState(int state, int timeoutMs = 20000);
    // Waits for `count` key events at the view.
    bool waitForKeys(size_t count, int timeoutMs = 20000);
    // Waits for the view to have seen `key` (a press, release or long press
    // of one key) `times` times: the event itself, whatever else came.
    bool waitForKey(const SeenKey& key, int times = 1, int timeoutMs = 20000);
    // Calls the broadcast stand-in has recorded whose text starts with `prefix`.
    int playerCalls(const std::string& prefix) const;

    QGuiApplication* app = guiApp();
    PrivateBus bus;
    holvik_test::TestDevRoot root;
    std::unique_ptr<LauncherStandIn> launcher;
    std::unique_ptr<QQmlEngine> qml;
    std::unique_ptr<TestEngine> engine;
    std::unique_ptr<ViewKeys> view;
};

// The channel id of the remembered channel's full-segment service in the
// database the rig writes (remote-control id 4, sub-channel 1).
constexpr int kRememberedFullId = 3;

}  // namespace launcher_test
