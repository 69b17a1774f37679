// Engine keys and touch: the key gate in front of the QML view, the launcher's
// touch positions as 100 ms left-button taps, the steering key.

#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#include "KelpAppLog.h"
#include "KeyGate.h"
#include "KvrOzbFSegPlayer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickView>
#include <QTimer>
#include <QTouchDevice>
#include <QTouchEvent>

#include <memory>

#include <cmath>

namespace {
const char kPlayerMain[] = "ISDBtPlayerMain";
constexpr int kSteeringTrackUp = 178;

// The launcher's touch panel as Qt sees it; lives as long as the process.
QTouchDevice* launcherTouchScreen()
{
    static QTouchDevice* device = [] {
        auto* d = new QTouchDevice();
        d->setName(QStringLiteral("launcher"));
        d->setType(QTouchDevice::TouchScreen);
        d->setCapabilities(QTouchDevice::Position);
        return d;
    }();
    return device;
}
}  // namespace

void ISDBtAppEngine::AppKeyEvent(int type, int key, int status, QKeyEvent* event)
{
    LOG_I("[%s] - type : [%d], key : [%d], status : [%d]", __func__, type, key, status);
    // Posted events belong to Qt; refused ones are ours to drop.
    std::unique_ptr<QKeyEvent> owned(event);
    if (m_pView == nullptr) {
        LOG_I("[%s] - m_pView is nullptr - return", __func__);
        return;
    }
    if (status == KeyNone) {
        LOG_I("[%s] - key status is None - return", __func__);
        return;
    }
    if (status == KeyCancel) {
        LOG_I("[%s] - key status is CANCEL", __func__);
        emit sendKeyCancel();
    }
    // Any key breaks a touch sequence towards engineering mode.
    m_nEngTouchLevel = 0;
    m_nEngTouchCount = 0;
    m_pEngCheckTimer->stop();
    if (type != KeyFromRemocon)
        return;

    keygate::State state;
    state.inProcessing = m_bInProcessing;
    state.copyingLog = m_bInCopyingLog;
    state.ozbState = m_nOzbState;
    state.powerOn = m_bPowerOn;
    state.playerState = m_pPlayer->getPlayerState();
    state.factoryMode = m_bFactoryMode;
    state.initialized = m_pDataManager->getInitialized();
    state.factoryResult = m_pFactoryDataManager->getResult();
    state.onLiveScreen = m_sCurrentScreen == QLatin1String(kPlayerMain);
    const keygate::Verdict verdict = keygate::decide(state, key);
    if (verdict.offerFactoryEntry)
        checkFactoryModeByKey(key, status);
    for (const char* line : verdict.lines) {
        if (line == nullptr)
            continue;
        if (verdict.pass)
            kelp_app_log(LOG_LEVEL_INFO, KELP_COLOR_CYAN, KELP_FILE_NAME, __LINE__, "[I]", line, __func__);
        else
            kelp_app_log(LOG_LEVEL_HIGHLIGHT, KELP_COLOR_RED_BG, KELP_FILE_NAME, __LINE__, "[H]", line, __func__);
    }
    if (!verdict.pass)
        return;
    // The hidden sequence's keys still reach the view.
    if (status == KeyPressed || status == KeyLongPressed)
        checkEngModeByKey(key, status);
    if (owned) {
        // The launcher's keys do not come from the window system, so they
        // must not wait for it to activate the window.
        focusView();
        QCoreApplication::postEvent(m_pView, owned.release());
    }
}

void ISDBtAppEngine::AppTouchPosition(int x, int y)
{
    AppTouchReceive(x, y);
}

void ISDBtAppEngine::AppTouchReceive(int x, int y)
{
    LOG_I("[%s] x(%d), y(%d)", __func__, x, y);
    if (!m_bPowerOn || m_bInProcessing) {
        LOG_H("[%s] - Power is off. return!!", __func__);
        return;
    }
    // A touch breaks a key sequence towards engineering mode and may be a
    // step of the touch sequence.
    m_nEngKeyLevel = 0;
    m_nEngKeyCount = 0;
    m_pEngKeyCheckTimer->stop();
    checkEngMode(x, y);
    // Touches act only on the live-TV screen and in the factory screens.
    if (m_sCurrentScreen != QLatin1String(kPlayerMain) && !m_bFactoryMode)
        return;
    const double cx = std::floor(x * m_fTouchScaleX);
    const double cy = std::floor(y * m_fTouchScaleY);
    LOG_I("[%s] convertX(%lf), convertY(%lf)", __func__, cx, cy);
    postMouseEvent(1, makeMouseEvent(cx, cy, 1));
    m_fMouseX = cx;
    m_fMouseY = cy;
    m_pMouseReleaseTimer->start();
}

void ISDBtAppEngine::mouseReleaseTimerHandler()
{
    LOG_I("[%s] m_nMouse(%lf, %lf)", __func__, m_fMouseX, m_fMouseY);
    postMouseEvent(2, makeMouseEvent(m_fMouseX, m_fMouseY, 2));
    m_fMouseX = -1.0;
    m_fMouseY = -1.0;
    // The end of the touch sequence. Qt Quick reads a touch-cancel event as a
    // touch event with its device, so a bare QEvent of that type would crash
    // the view: it gets a real one, from the launcher's touch screen.
    if (m_pView != nullptr)
        QCoreApplication::postEvent(m_pView, new QTouchEvent(QEvent::TouchCancel, launcherTouchScreen()));
}

void ISDBtAppEngine::postMouseEvent(int status, QMouseEvent* event)
{
    std::unique_ptr<QMouseEvent> owned(event);
    if (status == 0) {
        LOG_I("[%s] - mouse status is None - return", __func__);
        return;
    }
    if (!owned || m_pView == nullptr)
        return;
    LOG_I("[%s] x(%d), y(%d), status(%d)", __func__, static_cast<int>(std::lround(owned->localPos().x())),
          static_cast<int>(std::lround(owned->localPos().y())), status);
    QCoreApplication::postEvent(m_pView, owned.release());
}

void ISDBtAppEngine::AppSteeringKeyEvent(int key)
{
    LOG_I("[%s] key(%d)", __func__, key);
    if (key == kSteeringTrackUp)
        emit sendSteeringTrackUp();
}

bool ISDBtAppEngine::checkPlayerScanState()
{
    return m_pPlayer->getPlayerState() == KvrOzbFSegPlayer::StateScanning;
}

bool ISDBtAppEngine::checkPlayerInHandoverState()
{
    return m_pPlayer->getPlayerState() == KvrOzbFSegPlayer::StateHandover;
}
