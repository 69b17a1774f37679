// Fuzz target of the launcher link's receive path: a marshalled D-Bus message
// from the bus goes through the receive callback, and every key it yields
// through press/release pairing and the key table.

#include "AppEngineIF.h"
#include "ISDBtDbusManager.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <cstdint>

namespace {

class SinkEngine : public AppEngineIF
{
public:
    SinkEngine() { initAppEngineIF(5); }
    void AppDebug(QString, bool) override {}
    void AppKeyEvent(int, int, int, QKeyEvent* event) override { delete event; }
    void AppTouchPosition(int, int) override {}
    void AppSteeringKeyEvent(int) override {}
    void AppRequestAlive() override {}
    void AppResponsePowerMode(int) override {}
    void AppRequestPowerDownControl() override {}
    void AppRequestHPDControl(int) override {}
};

SinkEngine* engine()
{
    static int argc = 1;
    static char name[] = "launcher-signal-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    static SinkEngine* e = [] {
        auto* s = new SinkEngine();
        // The manager's signals reach the engine directly here: one thread.
        QObject::disconnect(s->dbusManager(), nullptr, s, nullptr);
        QObject::connect(s->dbusManager(), &ISDBtDbusManager::sendKeyReceive, s, &AppEngineIF::onSendKeyReceive,
                         Qt::DirectConnection);
        return s;
    }();
    (void)app;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    engine();
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* m = dbus_message_demarshal(reinterpret_cast<const char*>(data), static_cast<int>(size), &error);
    if (m == nullptr) {
        dbus_error_free(&error);
        return 0;
    }
    ISDBtDbusManager::OnReceiveDBusSignal(m, dbus_message_get_interface(m));
    dbus_message_unref(m);
    return 0;
}
