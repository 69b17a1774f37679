// The launcher client library stand-in over libdbus-1: a reading connection
// serviced by a thread of its own and a writing connection for method calls.

#include "kvutils.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// How long the reading thread blocks in one round; bounds the time a release
// waits for it.
constexpr int kReadRoundMs = 50;

struct Library {
    std::mutex mutex;  // guards everything below but the callbacks
    std::vector<std::string> interfaces;
    DBusConnection* reader = nullptr;
    DBusConnection* writer = nullptr;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<KvDBusSignalCallback> onSignal{nullptr};
    std::atomic<KvDBusMethodCallback> onMethod{nullptr};
    std::mutex writeMutex;  // one sender at a time on the writing connection
};

Library& lib()
{
    static Library* instance = new Library();  // lives to the end of the process
    return *instance;
}

std::string matchRule(const std::string& interfaceName)
{
    return "type='signal',interface='" + interfaceName + "'";
}

bool wanted(const char* interfaceName)
{
    if (interfaceName == nullptr)
        return false;
    Library& l = lib();
    std::lock_guard<std::mutex> lock(l.mutex);
    for (const std::string& i : l.interfaces)
        if (i == interfaceName)
            return true;
    return false;
}

DBusHandlerResult filter(DBusConnection*, DBusMessage* message, void*)
{
    const char* interfaceName = dbus_message_get_interface(message);
    const int type = dbus_message_get_type(message);
    Library& l = lib();
    if (type == DBUS_MESSAGE_TYPE_SIGNAL && wanted(interfaceName)) {
        KvDBusSignalCallback cb = l.onSignal.load();
        if (cb != nullptr && cb(message, interfaceName) == 0)
            return DBUS_HANDLER_RESULT_HANDLED;
    } else if (type == DBUS_MESSAGE_TYPE_METHOD_CALL && wanted(interfaceName)) {
        KvDBusMethodCallback cb = l.onMethod.load();
        if (cb != nullptr && cb(message, interfaceName) == 0)
            return DBUS_HANDLER_RESULT_HANDLED;
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

void readLoop(DBusConnection* connection)
{
    Library& l = lib();
    while (!l.stop.load()) {
        if (!dbus_connection_read_write_dispatch(connection, kReadRoundMs))
            break;  // the bus went away
    }
}

DBusConnection* openConnection(const char* name)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (c == nullptr) {
        fprintf(stderr, "kvutils(%s): no system bus: %s\n", name, error.message ? error.message : "?");
        dbus_error_free(&error);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(c, FALSE);
    return c;
}

void closeConnection(DBusConnection* c)
{
    if (c == nullptr)
        return;
    dbus_connection_close(c);
    dbus_connection_unref(c);
}

bool addMatch(DBusConnection* c, const std::string& interfaceName)
{
    DBusError error;
    dbus_error_init(&error);
    dbus_bus_add_match(c, matchRule(interfaceName).c_str(), &error);
    if (dbus_error_is_set(&error)) {
        fprintf(stderr, "kvutils: match for %s refused: %s\n", interfaceName.c_str(), error.message);
        dbus_error_free(&error);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

void SetCallBackFunctions(KvDBusSignalCallback onSignal, KvDBusMethodCallback onMethod)
{
    lib().onSignal.store(onSignal);
    lib().onMethod.store(onMethod);
}

int AddSignalInterface(const char* interfaceName)
{
    if (interfaceName == nullptr || !dbus_validate_interface(interfaceName, nullptr))
        return 0;
    Library& l = lib();
    DBusConnection* open = nullptr;
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        for (const std::string& i : l.interfaces)
            if (i == interfaceName)
                return 1;
        l.interfaces.emplace_back(interfaceName);
        if (l.reader != nullptr)
            open = dbus_connection_ref(l.reader);
    }
    // An open connection learns the new match at once. Not under the mutex:
    // the reading thread's filter takes it while libdbus waits for the reply.
    int ok = 1;
    if (open != nullptr) {
        ok = addMatch(open, interfaceName) ? 1 : 0;
        dbus_connection_unref(open);
    }
    return ok;
}

int InitializeRawDBusConnection(const char* name)
{
    dbus_threads_init_default();
    const char* label = name != nullptr ? name : "";
    Library& l = lib();
    std::lock_guard<std::mutex> lock(l.mutex);
    if (l.reader != nullptr)
        return 1;
    DBusConnection* reader = openConnection(label);
    if (reader == nullptr)
        return 0;
    DBusConnection* writer = openConnection(label);
    if (writer == nullptr) {
        closeConnection(reader);
        return 0;
    }
    for (const std::string& i : l.interfaces)
        addMatch(reader, i);
    dbus_connection_add_filter(reader, filter, nullptr, nullptr);
    l.reader = reader;
    {
        std::lock_guard<std::mutex> w(l.writeMutex);
        l.writer = writer;
    }
    l.stop.store(false);
    l.thread = std::thread(readLoop, reader);
    return 1;
}

void ReleaseRawDBusConnection(void)
{
    Library& l = lib();
    std::unique_lock<std::mutex> lock(l.mutex);
    if (l.reader == nullptr)
        return;
    l.stop.store(true);
    std::thread t = std::move(l.thread);
    DBusConnection* reader = l.reader;
    l.reader = nullptr;
    // The reading thread takes the mutex in its filter: let it finish first.
    lock.unlock();
    if (t.joinable())
        t.join();
    dbus_connection_remove_filter(reader, filter, nullptr);
    closeConnection(reader);
    std::lock_guard<std::mutex> w(l.writeMutex);
    closeConnection(l.writer);
    l.writer = nullptr;
}

DBusMessage* CreateDBusMsgMethodCall(const char* destination, const char* path, const char* interfaceName,
                                     const char* method, int firstArgType, ...)
{
    if (path == nullptr || method == nullptr || !dbus_validate_path(path, nullptr)
        || !dbus_validate_member(method, nullptr)
        || (interfaceName != nullptr && !dbus_validate_interface(interfaceName, nullptr))
        || (destination != nullptr && !dbus_validate_bus_name(destination, nullptr)))
        return nullptr;
    DBusMessage* message = dbus_message_new_method_call(destination, path, interfaceName, method);
    if (message == nullptr)
        return nullptr;
    va_list ap;
    va_start(ap, firstArgType);
    const dbus_bool_t ok = dbus_message_append_args_valist(message, firstArgType, ap);
    va_end(ap);
    if (!ok) {
        dbus_message_unref(message);
        return nullptr;
    }
    dbus_message_set_no_reply(message, TRUE);
    return message;
}

int SendDBusMessage(DBusMessage* message, dbus_uint32_t* serial)
{
    if (message == nullptr)
        return 0;
    Library& l = lib();
    std::lock_guard<std::mutex> lock(l.writeMutex);
    if (l.writer == nullptr || !dbus_connection_get_is_connected(l.writer))
        return 0;
    if (!dbus_connection_send(l.writer, message, serial))
        return 0;
    dbus_connection_flush(l.writer);
    return 1;
}

int GetArgumentFromDBusMessage(DBusMessage* message, int firstArgType, ...)
{
    if (message == nullptr)
        return 0;
    DBusError error;
    dbus_error_init(&error);
    va_list ap;
    va_start(ap, firstArgType);
    const dbus_bool_t ok = dbus_message_get_args_valist(message, &error, firstArgType, ap);
    va_end(ap);
    if (dbus_error_is_set(&error))
        dbus_error_free(&error);
    return ok ? 1 : 0;
}

}  // extern "C"
