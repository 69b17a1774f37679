// The launcher side of the engine: the link's signals, key pairing and the
// long press, the remote's key table.

#include "AppEngineIF.h"

#include "ISDBtDbusManager.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace {

// Launcher key code -> Qt key; 0 where the remote's code makes no event.
const int kKeyTable[] = {
    Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6,       // 0..5 NUM_1..6
    Qt::Key_F7, Qt::Key_F8, Qt::Key_F9, Qt::Key_F10, Qt::Key_F11, Qt::Key_F12,    // 6..11 NUM_7..12
    Qt::Key_BracketRight,                                                         // 12 VOL_UP
    Qt::Key_BracketLeft,                                                          // 13 VOL_DN
    Qt::Key_PageUp,                                                               // 14 CH_UP
    Qt::Key_PageDown,                                                             // 15 CH_DN
    Qt::Key_Q,                                                                    // 16 CH_LIST
    Qt::Key_A,                                                                    // 17 HOME_LIST
    Qt::Key_W,                                                                    // 18 EPG
    Qt::Key_F,                                                                    // 19 SEARCH
    Qt::Key_S,                                                                    // 20 MENU
    Qt::Key_D,                                                                    // 21 BACK
    Qt::Key_J,                                                                    // 22 OK
    Qt::Key_C,                                                                    // 23 ALL_SCAN
    Qt::Key_E,                                                                    // 24 CH_INFO
    Qt::Key_V,                                                                    // 25 SCAN
    0,                                                                            // 26
    Qt::Key_U,                                                                    // 27 UP
    Qt::Key_M,                                                                    // 28 DN
    Qt::Key_H,                                                                    // 29 L
    Qt::Key_K,                                                                    // 30 R
    0,                                                                            // 31
    Qt::Key_X,                                                                    // 32 MUTE
    Qt::Key_Z,                                                                    // 33 BILINGUAL
    Qt::Key_O,                                                                    // 34 SEGTYPE
    Qt::Key_P,                                                                    // 35 POWER
    Qt::Key_R,                                                                    // 36 HDMI
};
constexpr int kKeyTableSize = static_cast<int>(sizeof kKeyTable / sizeof kKeyTable[0]);
static_assert(kKeyTableSize == 37, "one row per launcher code 0..36");

const QString kOnSendKeyReceive = QStringLiteral("onSendKeyReceive");

}  // namespace

AppEngineIF::AppEngineIF(QObject* parent)
    : QObject(parent)
{
}

AppEngineIF::~AppEngineIF()
{
    delete m_pDbusManager;
}

void AppEngineIF::initAppEngineIF(int appId)
{
    AppDebug(QStringLiteral("[%1]").arg(QStringLiteral("initAppEngineIF")), false);
    m_nAppId = appId;
    m_pDbusManager = new ISDBtDbusManager(appId, nullptr);
    using L = ISDBtDbusManager;
    connect(m_pDbusManager, &L::sendKeyReceive, this, &AppEngineIF::onSendKeyReceive);
    connect(m_pDbusManager, &L::sendRequestAlive, this, &AppEngineIF::onSendRequestAlive);
    connect(m_pDbusManager, &L::sendResponsePowerMode, this, &AppEngineIF::onSendResponsePowerMode);
    connect(m_pDbusManager, &L::sendRequestPowerDownControl, this, &AppEngineIF::onSendRequestPowerDownControl);
    connect(m_pDbusManager, &L::sendRequestHPDControl, this, &AppEngineIF::onSendRequestHPDControl);
    connect(m_pDbusManager, &L::sendTouchPosition, this, &AppEngineIF::onSendTouchPosition);
    connect(m_pDbusManager, &L::sendSteeringKeyReceive, this, &AppEngineIF::onSendSteeringKeyReceive);
    m_pKeyTimer = new QTimer(this);
    m_pKeyTimer->setObjectName(QStringLiteral("keyTimer"));
    m_pKeyTimer->setSingleShot(true);
    m_pKeyTimer->setInterval(kLongPressMs);
    connect(m_pKeyTimer, &QTimer::timeout, this, &AppEngineIF::onKeyTimerHandler);
}

void AppEngineIF::InitializeDBusManager()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->init();
}

void AppEngineIF::ReleaseDBusManager()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->release();
}

void AppEngineIF::SendDBusActiveApplication(int active)
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusActiveApplication(m_nAppId, active);
}

void AppEngineIF::SendDBusShowApplication()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusShowApplication(m_nAppId);
}

void AppEngineIF::SendDBusHideApplication()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusHideApplication(m_nAppId);
}

void AppEngineIF::SendDBusSetRunning(int running)
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusSetRunning(m_nAppId, running);
}

void AppEngineIF::SendDBusResponseAlive()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusResponseAlive(m_nAppId);
}

void AppEngineIF::SendDBusRequestPowerMode(int isWrite, int byRemocon)
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusRequestPowerMode(isWrite, byRemocon);
}

void AppEngineIF::SendDBusSetCurrentPower(int isOn)
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusSetCurrentPower(isOn);
}

void AppEngineIF::SendDBusResponsePowerDownControl()
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusResponsePowerDownControl();
}

void AppEngineIF::SendDBusSetCheckAlive(int isOn)
{
    if (m_pDbusManager != nullptr)
        m_pDbusManager->SendDBusSetCheckAlive(isOn);
}

void AppEngineIF::onSendRequestAlive()
{
    AppRequestAlive();
}

void AppEngineIF::onSendResponsePowerMode(int mode)
{
    AppResponsePowerMode(mode);
}

void AppEngineIF::onSendRequestPowerDownControl()
{
    AppRequestPowerDownControl();
}

void AppEngineIF::onSendRequestHPDControl(int state)
{
    AppRequestHPDControl(state);
}

void AppEngineIF::onSendTouchPosition(int x, int y)
{
    AppTouchPosition(x, y);
}

void AppEngineIF::onSendSteeringKeyReceive(int key)
{
    AppSteeringKeyEvent(key);
}

void AppEngineIF::onSendKeyReceive(int action, int key)
{
    // A code below 0 is as invalid as one above the table's range: the key
    // table must never be indexed with it, and -1 would read as "no key held".
    if (key < 0 || key > kMaxKeyCode) {
        AppDebug(QStringLiteral("[%1] key(%2) is invalid!!").arg(kOnSendKeyReceive).arg(key), false);
        cancelKey(key);
        return;
    }
    if (action == KeyPressed) {
        if (key == m_nCurKey) {
            AppDebug(QStringLiteral("[%1] key(%2) is same with current key(%3). key pressed receive without key "
                                    "released. return!!")
                         .arg(kOnSendKeyReceive)
                         .arg(key)
                         .arg(m_nCurKey),
                     false);
            return;
        }
        m_nCurKey = key;
        m_bLongPressed = false;
        if (m_pKeyTimer != nullptr) {
            m_pKeyTimer->stop();
            m_pKeyTimer->start();
        }
        sendKeyEvent(KeyPressed, key);
        return;
    }
    if (action == KeyReleased) {
        const bool matches = key == m_nCurKey;
        if (!matches) {
            AppDebug(QStringLiteral("[%1] RELEASED key(%2) is different PRESSED key(%3)")
                         .arg(kOnSendKeyReceive)
                         .arg(key)
                         .arg(m_nCurKey),
                     false);
            cancelKey(key);
            return;
        }
        m_nCurKey = -1;
        m_bLongPressed = false;
        if (m_pKeyTimer != nullptr)
            m_pKeyTimer->stop();
        sendKeyEvent(KeyReleased, key);
        return;
    }
    AppDebug(QStringLiteral("[%1] (%2, %3) action is invalid!!").arg(kOnSendKeyReceive).arg(action).arg(key), false);
    cancelKey(key);
}

void AppEngineIF::cancelKey(int key)
{
    AppDebug(QStringLiteral("[%1] key is CANCEL!!").arg(kOnSendKeyReceive), false);
    m_nCurKey = -1;
    m_bLongPressed = false;
    if (m_pKeyTimer != nullptr)
        m_pKeyTimer->stop();
    sendKeyEvent(KeyCancel, key);
}

void AppEngineIF::onKeyTimerHandler()
{
    AppDebug(QStringLiteral("[%1] m_nCurKey(%2)").arg(QStringLiteral("onKeyTimerHandler")).arg(m_nCurKey), false);
    if (m_nCurKey >= 0) {
        m_bLongPressed = true;
        sendKeyEvent(KeyLongPressed, m_nCurKey);
    }
}

void AppEngineIF::sendKeyEvent(int type, int key)
{
    QKeyEvent* event = type == KeyCancel ? nullptr : getKeyEvent(key, type);
    AppKeyEvent(KeyFromRemocon, key, type, event);
}

int AppEngineIF::qtKeyOf(int key)
{
    if (key < 0 || key >= kKeyTableSize)
        return 0;
    return kKeyTable[key];
}

QKeyEvent* AppEngineIF::getKeyEvent(int key, int type)
{
    const int qtKey = qtKeyOf(key);
    if (qtKey == 0)
        return nullptr;
    return makeKeyEvent(qtKey, type);
}

QKeyEvent* AppEngineIF::makeKeyEvent(int qtKey, int type)
{
    switch (type) {
    case KeyPressed:
        return new QKeyEvent(QEvent::KeyPress, qtKey, Qt::NoModifier, QString(), false, 1);
    case KeyReleased:
        return new QKeyEvent(QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), false, 1);
    case KeyLongPressed:
        return new QKeyEvent(QEvent::KeyPress, qtKey, Qt::ShiftModifier, QString(), false, 1);
    default:
        return nullptr;
    }
}

QMouseEvent* AppEngineIF::makeMouseEvent(double x, double y, int type)
{
    const QPointF pos(x, y);
    if (type == 1)
        return new QMouseEvent(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    if (type == 2)
        return new QMouseEvent(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    return nullptr;
}
