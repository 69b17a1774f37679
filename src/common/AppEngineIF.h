#pragma once
// Base of the application engine: the side that faces the launcher process.
// It owns the launcher link, turns the launcher's signals into calls of the
// engine's virtual operations, pairs remote-key presses and releases (a key
// held 400 ms becomes a long press) and offers the launcher's methods to the
// engine with the application ID filled in.

#include <QObject>
#include <QString>

class ISDBtDbusManager;
class QKeyEvent;
class QMouseEvent;
class QTimer;

class AppEngineIF : public QObject
{
    Q_OBJECT

public:
    // Key event types: the `type` of sendKeyEvent, the `status` of AppKeyEvent.
    enum KeyStatus { KeyNone = 0, KeyPressed = 1, KeyReleased = 2, KeyLongPressed = 3, KeyCancel = 4 };
    // Origin of a key event: the `type` of AppKeyEvent.
    enum KeySource { KeyFromRemocon = 1 };
    // Key codes above this are refused before the table.
    static constexpr int kMaxKeyCode = 62;
    static constexpr int kLongPressMs = 400;

    explicit AppEngineIF(QObject* parent = nullptr);
    ~AppEngineIF() override;

    // Called once, at the end of the engine's constructor.
    void initAppEngineIF(int appId);

    int appId() const { return m_nAppId; }

    // Engine operations, in this order after those of QObject.
    virtual void AppDebug(QString message, bool highlight) = 0;
    virtual void AppKeyEvent(int type, int key, int status, QKeyEvent* event) = 0;
    virtual void AppTouchPosition(int x, int y) = 0;
    virtual void AppSteeringKeyEvent(int key) = 0;
    virtual void AppRequestAlive() = 0;
    virtual void AppResponsePowerMode(int mode) = 0;
    virtual void AppRequestPowerDownControl() = 0;
    virtual void AppRequestHPDControl(int state) = 0;

    void InitializeDBusManager();
    void ReleaseDBusManager();

    void SendDBusActiveApplication(int active);
    void SendDBusShowApplication();
    void SendDBusHideApplication();
    void SendDBusSetRunning(int running);
    void SendDBusResponseAlive();
    void SendDBusRequestPowerMode(int isWrite, int byRemocon);
    void SendDBusSetCurrentPower(int isOn);
    void SendDBusResponsePowerDownControl();
    void SendDBusSetCheckAlive(int isOn);

    // The Qt key of a launcher key code, 0 when the code has none.
    static int qtKeyOf(int key);
    // Null for codes without a Qt key and for cancels.
    static QKeyEvent* getKeyEvent(int key, int type);
    static QKeyEvent* makeKeyEvent(int qtKey, int type);
    static QMouseEvent* makeMouseEvent(double x, double y, int type);

    ISDBtDbusManager* dbusManager() const { return m_pDbusManager; }

public slots:
    void onSendKeyReceive(int action, int key);
    void onKeyTimerHandler();
    void onSendRequestAlive();
    void onSendResponsePowerMode(int mode);
    void onSendRequestPowerDownControl();
    void onSendRequestHPDControl(int state);
    void onSendTouchPosition(int x, int y);
    void onSendSteeringKeyReceive(int key);

protected:
    void sendKeyEvent(int type, int key);

    int m_nAppId = -1;
    ISDBtDbusManager* m_pDbusManager = nullptr;
    // The key held down, -1 when none.
    int m_nCurKey = -1;
    bool m_bLongPressed = false;
    QTimer* m_pKeyTimer = nullptr;

private:
    void cancelKey(int key);
};
