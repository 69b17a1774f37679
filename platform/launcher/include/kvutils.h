#pragma once
// Stand-in for the launcher's D-Bus client library. It keeps one connection
// to the system bus (DBUS_SYSTEM_BUS_ADDRESS redirects it) that a thread of
// its own reads, and calls the registered callback there for every signal of
// a registered interface, as the board's library calls back off the caller's
// thread. Method calls go out on a second connection that only writes.

#include <dbus/dbus.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called on the library's thread with a message it keeps owning. The result
// is 0 when the callback took the message, non-zero when it was not its own.
typedef int (*KvDBusSignalCallback)(DBusMessage* message, const char* interfaceName);
typedef int (*KvDBusMethodCallback)(DBusMessage* message, const char* interfaceName);

// Both may be null. Takes effect for messages read from now on.
void SetCallBackFunctions(KvDBusSignalCallback onSignal, KvDBusMethodCallback onMethod);

// Signals of `interfaceName` are delivered; call before or after the
// connection is opened. Non-zero on success.
int AddSignalInterface(const char* interfaceName);

// Opens the connections and starts the reading thread. `name` only labels the
// library's own messages. Non-zero on success (also when already open).
int InitializeRawDBusConnection(const char* name);

// Stops the reading thread and closes the connections; no callback runs
// after it returns. Harmless when nothing is open.
void ReleaseRawDBusConnection(void);

// A new method call with the arguments given as type/value-pointer pairs
// ended by DBUS_TYPE_INVALID (as dbus_message_append_args). No reply is
// expected. Null on failure.
DBusMessage* CreateDBusMsgMethodCall(const char* destination, const char* path, const char* interfaceName,
                                     const char* method, int firstArgType, ...);

// Sends and flushes `message`; the caller keeps its reference. Non-zero on
// success, 0 when no connection is open or the send fails.
int SendDBusMessage(DBusMessage* message, dbus_uint32_t* serial);

// Reads the arguments as type/value-pointer pairs ended by DBUS_TYPE_INVALID.
// Non-zero when all of them were read with the types asked for.
int GetArgumentFromDBusMessage(DBusMessage* message, int firstArgType, ...);

#ifdef __cplusplus
}
#endif
