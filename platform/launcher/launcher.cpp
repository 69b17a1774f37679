// Launcher stand-in on the system bus (DBUS_SYSTEM_BUS_ADDRESS redirects it):
// owns "holvik.launcher.process", logs every method call it receives with a
// time stamp, answers the power-mode requests, and sends the launcher's
// signals on command.
//
//   holvik-launcher [--power-mode N]      run; commands come from standard input
//                                         (it ends when that input is a pipe that closes)
//   holvik-launcher --send COMMAND ...    send one command's signal and exit
//
// Commands (one a line):
//   press K | release K | key K           remote key K pressed, released, both
//   hold K MS                             press K, release it MS ms later
//   touch X Y | powerdown | hpd STATE | alive APPID | show | hide
//   raw SIGNAL [INT ...]                  any signal of the interface
//   powermode N                           the mode the next get request reports
//   quit
//
// Every line it prints starts with the seconds of the monotonic clock in
// brackets (for a sent signal, the moment before it went to the bus):
// "[  12.345678] call method_launcher_set_running(5, 1)",
// "... sent signal_launcher_isdbt_remocon_press(14)", "... ready".

#include <dbus/dbus.h>

#include <poll.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kBusName[] = "holvik.launcher.process";
const char kPath[] = "/holvik/launcher/process";
const char kInterface[] = "launcher.event";

struct Command {
    const char* word;
    const char* signal;  // null: handled apart
    int argCount;
};

const Command kCommands[] = {
    {"press", "signal_launcher_isdbt_remocon_press", 1},
    {"release", "signal_launcher_isdbt_remocon_release", 1},
    {"touch", "signal_launcher_isdbt_touch_position", 2},
    {"hpd", "signal_launcher_request_hpd_control", 1},
    {"alive", "signal_launcher_request_alive", 1},
    {"show", "signal_launcher_show_application", 0},
    {"hide", "signal_launcher_hide_application", 0},
};

struct Launcher {
    DBusConnection* bus = nullptr;
    int powerMode = 0;
    // A pending release of a held key.
    bool holding = false;
    int heldKey = -1;
    double releaseAt = 0;
    bool quit = false;
};

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void logLine(const std::string& text, double at = -1)
{
    printf("[%12.6f] %s\n", at < 0 ? now() : at, text.c_str());
    fflush(stdout);
}

bool sendSignal(Launcher& l, const std::string& name, const std::vector<int>& args)
{
    if (!dbus_validate_member(name.c_str(), nullptr)) {
        logLine("error: bad signal name " + name);
        return false;
    }
    DBusMessage* m = dbus_message_new_signal(kPath, kInterface, name.c_str());
    if (m == nullptr)
        return false;
    DBusMessageIter it;
    dbus_message_iter_init_append(m, &it);
    std::string shown;
    for (int v : args) {
        dbus_int32_t value = v;
        dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &value);
        shown += (shown.empty() ? "" : ", ") + std::to_string(v);
    }
    // A sent signal is stamped with the moment it was handed to the bus.
    const double at = now();
    const bool ok = dbus_connection_send(l.bus, m, nullptr);
    dbus_connection_flush(l.bus);
    dbus_message_unref(m);
    logLine(std::string(ok ? "sent " : "error: not sent ") + name + "(" + shown + ")", at);
    return ok;
}

// The arguments of a call as text: integers and booleans as numbers.
std::string argumentText(DBusMessage* m)
{
    std::string out;
    DBusMessageIter it;
    if (!dbus_message_iter_init(m, &it))
        return out;
    do {
        const int type = dbus_message_iter_get_arg_type(&it);
        std::string v;
        if (type == DBUS_TYPE_INT32) {
            dbus_int32_t x;
            dbus_message_iter_get_basic(&it, &x);
            v = std::to_string(x);
        } else if (type == DBUS_TYPE_BOOLEAN) {
            dbus_bool_t x;
            dbus_message_iter_get_basic(&it, &x);
            v = x ? "1" : "0";
        } else if (type == DBUS_TYPE_STRING) {
            const char* x;
            dbus_message_iter_get_basic(&it, &x);
            v = std::string("\"") + x + "\"";
        } else {
            v = std::string("?") + static_cast<char>(type);
        }
        out += (out.empty() ? "" : ", ") + v;
    } while (dbus_message_iter_next(&it));
    return out;
}

DBusHandlerResult onMessage(DBusConnection*, DBusMessage* m, void* data)
{
    Launcher& l = *static_cast<Launcher*>(data);
    if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL
        || !dbus_message_has_interface(m, kInterface))
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    const char* method = dbus_message_get_member(m);
    logLine(std::string("call ") + method + "(" + argumentText(m) + ")");
    if (strcmp(method, "method_launcher_request_power_mode") == 0) {
        dbus_int32_t isWrite = 0, byRemocon = 0;
        if (dbus_message_get_args(m, nullptr, DBUS_TYPE_INT32, &isWrite, DBUS_TYPE_INT32, &byRemocon,
                                  DBUS_TYPE_INVALID)) {
            if (isWrite != 0) {
                l.powerMode = byRemocon;
                sendSignal(l, "signal_launcher_response_set_power_mode", {l.powerMode});
            } else {
                sendSignal(l, "signal_launcher_response_get_power_mode", {l.powerMode});
            }
        }
    }
    // Fire-and-forget calls get no reply; others an empty one.
    if (!dbus_message_get_no_reply(m)) {
        DBusMessage* reply = dbus_message_new_method_return(m);
        if (reply != nullptr) {
            dbus_connection_send(l.bus, reply, nullptr);
            dbus_message_unref(reply);
        }
    }
    return DBUS_HANDLER_RESULT_HANDLED;
}

bool parseInt(const std::string& text, int* out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<int>(v);
    return true;
}

// Runs one command line; false when it was not understood.
bool runCommand(Launcher& l, const std::vector<std::string>& words)
{
    if (words.empty())
        return true;
    const std::string& w = words[0];
    std::vector<int> ints;
    for (size_t i = 1; i < words.size(); ++i) {
        int v;
        if (w == "raw" && i == 1)
            continue;
        if (!parseInt(words[i], &v)) {
            logLine("error: not a number: " + words[i]);
            return false;
        }
        ints.push_back(v);
    }
    if (w == "quit") {
        l.quit = true;
        return true;
    }
    if (w == "raw" && words.size() >= 2)
        return sendSignal(l, words[1], ints);
    if (w == "powermode" && ints.size() == 1) {
        l.powerMode = ints[0];
        logLine("power mode " + std::to_string(l.powerMode));
        return true;
    }
    if (w == "key" && ints.size() == 1)
        return sendSignal(l, kCommands[0].signal, ints) && sendSignal(l, kCommands[1].signal, ints);
    if (w == "hold" && ints.size() == 2) {
        if (!sendSignal(l, kCommands[0].signal, {ints[0]}))
            return false;
        l.holding = true;
        l.heldKey = ints[0];
        l.releaseAt = now() + ints[1] / 1000.0;
        return true;
    }
    for (const Command& c : kCommands) {
        if (w == c.word && static_cast<int>(ints.size()) == c.argCount)
            return sendSignal(l, c.signal, ints);
    }
    // The power-down request carries a value the application does not read.
    if (w == "powerdown" && ints.empty())
        return sendSignal(l, "signal_launcher_request_power_down_control", {0});
    logLine("error: unknown command: " + w);
    return false;
}

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

DBusConnection* connectBus()
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (c == nullptr) {
        fprintf(stderr, "holvik-launcher: no system bus: %s\n", error.message);
        dbus_error_free(&error);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(c, FALSE);
    return c;
}

int serve(Launcher& l)
{
    DBusError error;
    dbus_error_init(&error);
    const int r = dbus_bus_request_name(l.bus, kBusName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error);
    if (r != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        fprintf(stderr, "holvik-launcher: cannot own %s: %s\n", kBusName,
                dbus_error_is_set(&error) ? error.message : "taken");
        dbus_error_free(&error);
        return 1;
    }
    dbus_connection_add_filter(l.bus, onMessage, &l, nullptr);
    int fd = -1;
    if (!dbus_connection_get_unix_fd(l.bus, &fd)) {
        fprintf(stderr, "holvik-launcher: no connection descriptor\n");
        return 1;
    }
    logLine("ready");
    std::string pending;
    bool inputOpen = true;
    struct stat st;
    const bool inputIsPipe = fstat(STDIN_FILENO, &st) == 0 && S_ISFIFO(st.st_mode);
    while (!l.quit) {
        // Whatever libdbus has already read is handled before sleeping.
        while (dbus_connection_dispatch(l.bus) == DBUS_DISPATCH_DATA_REMAINS) {
        }
        int timeoutMs = 1000;
        if (l.holding) {
            const double left = l.releaseAt - now();
            timeoutMs = left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = poll(fds, inputOpen ? 2 : 1, timeoutMs);
        if (n < 0 && errno != EINTR)
            break;
        if (l.holding && now() >= l.releaseAt) {
            l.holding = false;
            sendSignal(l, kCommands[1].signal, {l.heldKey});
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!dbus_connection_read_write(l.bus, 0)) {
                fprintf(stderr, "holvik-launcher: the bus went away\n");
                return 1;
            }
        }
        if (inputOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buf[512];
            const ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
            if (got <= 0) {
                // A pipe's writer is gone (a test that ended): so are we.
                // Other input (a terminal, /dev/null) ends only the commands.
                if (inputIsPipe)
                    break;
                inputOpen = false;
                continue;
            }
            pending.append(buf, static_cast<size_t>(got));
            size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                runCommand(l, split(pending.substr(0, eol)));
                pending.erase(0, eol + 1);
            }
        }
    }
    logLine("quit");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Launcher l;
    std::vector<std::string> sendWords;
    bool sendMode = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (sendMode) {
            sendWords.push_back(a);
        } else if (a == "--send") {
            sendMode = true;
        } else if (a == "--power-mode" && i + 1 < argc && parseInt(argv[i + 1], &l.powerMode)) {
            ++i;
        } else {
            fprintf(stderr, "usage: holvik-launcher [--power-mode N] | --send COMMAND [ARG ...]\n");
            return 2;
        }
    }
    l.bus = connectBus();
    if (l.bus == nullptr)
        return 1;
    int status;
    if (sendMode) {
        // A held key is released before leaving.
        status = runCommand(l, sendWords) ? 0 : 1;
        while (status == 0 && l.holding) {
            const double left = l.releaseAt - now();
            if (left > 0)
                usleep(static_cast<useconds_t>(left * 1e6) + 1000);
            if (now() >= l.releaseAt) {
                l.holding = false;
                sendSignal(l, kCommands[1].signal, {l.heldKey});
            }
        }
    } else {
        status = serve(l);
    }
    dbus_connection_flush(l.bus);
    dbus_connection_close(l.bus);
    dbus_connection_unref(l.bus);
    return status;
}
