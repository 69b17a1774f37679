#pragma once
// The launcher link: the launcher's D-Bus signals become Qt signals of this
// object, and the application's calls to the launcher are sent from here.
// The client library calls back on a thread of its own; the Qt signals reach
// the engine queued on the GUI thread.

#include <QObject>

#include <dbus/dbus.h>

// Names of the launcher's signals, by the index the receive path acts on.
// The last entry is empty (never null) and matches nothing.
extern const char* const g_signalLauncherEventNames[11];
// Names of the methods the application calls, ended by a null entry.
extern const char* const g_methodLauncherEventNames[9];

class ISDBtDbusManager : public QObject
{
    Q_OBJECT
public:
    // Indexes of g_signalLauncherEventNames.
    enum LauncherSignal {
        SignalShowApplication = 0,
        SignalHideApplication = 1,
        SignalRemoconPress = 2,
        SignalRemoconRelease = 3,
        SignalRequestAlive = 4,
        SignalResponseSetPowerMode = 5,
        SignalResponseGetPowerMode = 6,
        SignalRequestPowerDownControl = 7,
        SignalRequestHPDControl = 8,
        SignalTouchPosition = 9,
        SignalSteeringRemoconPress = 10,
        SignalCount = 11,
    };

    // Key actions of sendKeyReceive.
    enum KeyAction { KeyPress = 1, KeyRelease = 2 };

    ISDBtDbusManager(int appId, QObject* parent = nullptr);
    ~ISDBtDbusManager() override;

    void init();
    void release();

    int appId() const { return m_nAppId; }

    // Senders (fire and forget).
    void SendDBusActiveApplication(int app, int active);
    void SendDBusShowApplication(int app);
    void SendDBusHideApplication(int app);
    void SendDBusSetRunning(int appId, int running);
    void SendDBusResponseAlive(int appId);
    void SendDBusRequestPowerMode(int isWrite, int byRemocon);
    void SendDBusSetCurrentPower(int isOn);
    void SendDBusResponsePowerDownControl();
    void SendDBusSetCheckAlive(int isOn);

    // The client library's callback: 0 when the message was a launcher
    // signal (acted on or not), 1 when it was not ours.
    static int OnReceiveDBusSignal(DBusMessage* message, const char* interfaceName);
    void LauncherSignalDBusProcess(unsigned index, DBusMessage* message);

    // Emitters of the Qt signals below.
    void keyReceive(int action, int key) { emit sendKeyReceive(action, key); }
    void requestAlive() { emit sendRequestAlive(); }
    void responsePowerMode(int mode) { emit sendResponsePowerMode(mode); }
    void requestPowerDownControl() { emit sendRequestPowerDownControl(); }
    void requestHPDControl(int state) { emit sendRequestHPDControl(state); }
    void touchPosition(int x, int y) { emit sendTouchPosition(x, y); }
    void steeringRemoconPress(int key) { emit sendSteeringKeyReceive(key); }

signals:
    void sendKeyReceive(int action, int key);
    void sendRequestAlive();
    void sendResponsePowerMode(int mode);
    void sendRequestPowerDownControl();
    void sendRequestHPDControl(int state);
    void sendTouchPosition(int x, int y);
    void sendSteeringKeyReceive(int key);

private:
    // Builds and sends one method call with one or two arguments.
    void sendMethod(const char* operation, const char* method, int type1, const void* value1,
                    int type2 = DBUS_TYPE_INVALID, const void* value2 = nullptr);

    int m_nAppId = -1;
    bool m_bInitialized = false;
};
