// The launcher link: protocol names, the signal table's actions and the
// senders of the launcher's methods.

#include "ISDBtDbusManager.h"

#include "KelpAppLog.h"
#include "kvutils.h"

#include <QMutex>

#include <atomic>
#include <cstdio>

namespace {

const char kConnectionName[] = "DMB DBUS";
const char kInterface[] = "launcher.event";
const char kDestination[] = "holvik.launcher.process";
const char kPath[] = "/holvik/launcher/process";
const char kProcess[] = "LauncherSignalDBusProcess";

// The first manager constructed; the static callback acts on it. Cleared
// when it goes, after its connection (and so every callback) has ended.
std::atomic<ISDBtDbusManager*> s_instance{nullptr};

}  // namespace

const char* const g_signalLauncherEventNames[11] = {
    "signal_launcher_show_application",
    "signal_launcher_hide_application",
    "signal_launcher_isdbt_remocon_press",
    "signal_launcher_isdbt_remocon_release",
    "signal_launcher_request_alive",
    "signal_launcher_response_set_power_mode",
    "signal_launcher_response_get_power_mode",
    "signal_launcher_request_power_down_control",
    "signal_launcher_request_hpd_control",
    "signal_launcher_isdbt_touch_position",
    "",
};

const char* const g_methodLauncherEventNames[9] = {
    "method_launcher_show_application",
    "method_launcher_hide_application",
    "method_launcher_set_running",
    "method_launcher_response_alive",
    "method_launcher_request_power_mode",
    "method_launcher_set_current_power",
    "method_launcher_response_power_down_control",
    "method_launcher_set_check_alive",
    nullptr,
};

ISDBtDbusManager::ISDBtDbusManager(int appId, QObject* parent)
    : QObject(parent)
    , m_nAppId(appId)
{
    LOG_I("[%s]==================== Start ====================", "ISDBtDbusManager");
    ISDBtDbusManager* none = nullptr;
    s_instance.compare_exchange_strong(none, this);
}

ISDBtDbusManager::~ISDBtDbusManager()
{
    // No callback may reach a manager that is gone.
    if (m_bInitialized)
        release();
    ISDBtDbusManager* self = this;
    s_instance.compare_exchange_strong(self, nullptr);
}

void ISDBtDbusManager::init()
{
    LOG_I("[%s]==================== init ( appId : %d)====================", __func__, m_nAppId);
    SetCallBackFunctions(OnReceiveDBusSignal, nullptr);
    AddSignalInterface(kInterface);
    InitializeRawDBusConnection(kConnectionName);
    m_bInitialized = true;
}

void ISDBtDbusManager::release()
{
    LOG_I("[%s]", "release");
    ReleaseRawDBusConnection();
    m_bInitialized = false;
}

void ISDBtDbusManager::sendMethod(const char* operation, const char* method, int type1, const void* value1,
                                  int type2, const void* value2)
{
    DBusMessage* message = CreateDBusMsgMethodCall(kDestination, kPath, kInterface, method, type1, value1, type2,
                                                   value2, DBUS_TYPE_INVALID);
    if (message == nullptr) {
        fprintf(stderr, "%s : CreateDBusMsgMethodCall failed\n", operation);
        return;
    }
    if (SendDBusMessage(message, nullptr) == 0)
        fprintf(stderr, "%s : SendDBusMessage failed\n", operation);
    dbus_message_unref(message);
}

void ISDBtDbusManager::SendDBusActiveApplication(int app, int active)
{
    LOG_I("[%s] app(%d), active(%d)", __func__, app, active);
    const dbus_int32_t a = app;
    const dbus_bool_t b = active != 0;
    sendMethod(__func__, "method_launcher_active_application", DBUS_TYPE_INT32, &a, DBUS_TYPE_BOOLEAN, &b);
}

void ISDBtDbusManager::SendDBusShowApplication(int app)
{
    LOG_I("[%s] app(%d)", __func__, app);
    const dbus_int32_t a = app;
    sendMethod(__func__, "method_launcher_show_application", DBUS_TYPE_INT32, &a);
}

void ISDBtDbusManager::SendDBusHideApplication(int app)
{
    LOG_I("[%s] app(%d)", __func__, app);
    const dbus_int32_t a = app;
    sendMethod(__func__, "method_launcher_hide_application", DBUS_TYPE_INT32, &a);
}

void ISDBtDbusManager::SendDBusSetRunning(int appId, int running)
{
    LOG_I("[%s] app_id(%d), running(%d)", __func__, appId, running);
    const dbus_int32_t a = appId;
    const dbus_bool_t b = running != 0;
    sendMethod(__func__, "method_launcher_set_running", DBUS_TYPE_INT32, &a, DBUS_TYPE_BOOLEAN, &b);
}

void ISDBtDbusManager::SendDBusResponseAlive(int appId)
{
    const dbus_int32_t a = appId;
    sendMethod(__func__, "method_launcher_response_alive", DBUS_TYPE_INT32, &a);
}

void ISDBtDbusManager::SendDBusRequestPowerMode(int isWrite, int byRemocon)
{
    LOG_I("[%s] isWrite(%d), byRemocon(%d)", __func__, isWrite, byRemocon);
    const dbus_int32_t w = isWrite;
    const dbus_int32_t r = byRemocon;
    sendMethod(__func__, "method_launcher_request_power_mode", DBUS_TYPE_INT32, &w, DBUS_TYPE_INT32, &r);
}

void ISDBtDbusManager::SendDBusSetCurrentPower(int isOn)
{
    LOG_I("[%s] isOn(%d)", __func__, isOn);
    const dbus_int32_t v = isOn;
    sendMethod(__func__, "method_launcher_set_current_power", DBUS_TYPE_INT32, &v);
}

void ISDBtDbusManager::SendDBusResponsePowerDownControl()
{
    LOG_I("[%s]", __func__);
    const dbus_int32_t v = 0;
    sendMethod(__func__, "method_launcher_response_power_down_control", DBUS_TYPE_INT32, &v);
}

void ISDBtDbusManager::SendDBusSetCheckAlive(int isOn)
{
    LOG_I("[%s] isOn(%d)", __func__, isOn);
    const dbus_int32_t v = isOn;
    sendMethod(__func__, "method_launcher_set_check_alive", DBUS_TYPE_INT32, &v);
}

int ISDBtDbusManager::OnReceiveDBusSignal(DBusMessage* message, const char* interfaceName)
{
    if (message == nullptr || interfaceName == nullptr)
        return 0;
    if (qstrcmp(interfaceName, kInterface) != 0)
        return 1;
    for (unsigned i = 0; i < SignalCount; ++i) {
        if (dbus_message_is_signal(message, kInterface, g_signalLauncherEventNames[i])) {
            ISDBtDbusManager* self = s_instance.load();
            if (self != nullptr)
                self->LauncherSignalDBusProcess(i, message);
            return 0;
        }
    }
    return 1;
}

void ISDBtDbusManager::LauncherSignalDBusProcess(unsigned index, DBusMessage* message)
{
    if (message == nullptr) {
        LOG_I("[%s] id(%d) message is NULL ===> return!!", __func__, index);
        return;
    }
    if (index >= SignalCount) {
        LOG_I("[%s] id(%d) is invalid ===> return!!", __func__, index);
        return;
    }
    dbus_int32_t a = -1;
    dbus_int32_t b = -1;
    auto readOne = [&]() { return GetArgumentFromDBusMessage(message, DBUS_TYPE_INT32, &a, DBUS_TYPE_INVALID) != 0; };
    switch (index) {
    case SignalShowApplication:
        LOG_I("SignalLauncherShowApplication");
        break;
    case SignalHideApplication:
        LOG_I("SignalLauncherHideApplication");
        break;
    case SignalRemoconPress:
        LOG_I("SignalLauncherISDBTRemoconPress");
        if (readOne())
            keyReceive(KeyPress, a);
        break;
    case SignalRemoconRelease:
        LOG_I("SignalLauncherISDBTRemoconRelease");
        if (readOne())
            keyReceive(KeyRelease, a);
        break;
    case SignalRequestAlive:
        if (readOne() && a == m_nAppId)
            requestAlive();
        break;
    case SignalResponseSetPowerMode:
    case SignalResponseGetPowerMode: {
        const char* what = index == SignalResponseSetPowerMode ? "SignalLauncherResponseSetPowerMode"
                                                               : "SignalLauncherResponseGetPowerMode";
        LOG_I("%s", what);
        if (readOne()) {
            fprintf(stderr,
                    "isdbt - %s : %s current value : 0x%02x (0x00 : AlwaysOn, 0x01 : AlwaysOff-byRemocon)\n",
                    kProcess, what, static_cast<unsigned>(a));
            responsePowerMode(a);
        }
        break;
    }
    case SignalRequestPowerDownControl:
        LOG_I("SignalLauncherRequestPowerDownControl");
        if (readOne()) {
            fprintf(stderr, "isdbt - %s : SignalLauncherRequestPowerDownControl\n", kProcess);
            requestPowerDownControl();
        }
        break;
    case SignalRequestHPDControl:
        LOG_I("SignalLauncherRequestHPDControl");
        if (readOne()) {
            fprintf(stderr, "isdbt - %s : SignalLauncherRequestHPDControl(%d)\n", kProcess, a);
            requestHPDControl(a);
        }
        break;
    case SignalTouchPosition:
        LOG_I("SignalLauncherISDBTTouchPosition");
        if (GetArgumentFromDBusMessage(message, DBUS_TYPE_INT32, &a, DBUS_TYPE_INT32, &b, DBUS_TYPE_INVALID)) {
            fprintf(stderr, "isdbt - %s : SignalLauncherISDBTTouchPosition(%d, %d)\n", kProcess, a, b);
            touchPosition(a, b);
        }
        break;
    case SignalSteeringRemoconPress:
        if (readOne())
            steeringRemoconPress(a);
        break;
    default:
        break;
    }
}
