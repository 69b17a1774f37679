// Writes marshalled launcher signals, one a file, as seeds of the launcher
// link's mutation test:  make_signal_seeds DIR
#include <dbus/dbus.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const struct {
        const char* name;
        std::vector<int> args;
    } signals[] = {
        {"signal_launcher_isdbt_remocon_press", {14}},   {"signal_launcher_isdbt_remocon_release", {14}},
        {"signal_launcher_request_alive", {5}},          {"signal_launcher_response_get_power_mode", {1}},
        {"signal_launcher_response_set_power_mode", {0}}, {"signal_launcher_request_power_down_control", {0}},
        {"signal_launcher_request_hpd_control", {1}},    {"signal_launcher_isdbt_touch_position", {640, 360}},
        {"signal_launcher_show_application", {}},
    };
    int n = 0;
    for (const auto& s : signals) {
        DBusMessage* m = dbus_message_new_signal("/holvik/launcher/process", "launcher.event", s.name);
        for (int v : s.args) {
            const dbus_int32_t x = v;
            dbus_message_append_args(m, DBUS_TYPE_INT32, &x, DBUS_TYPE_INVALID);
        }
        dbus_message_set_serial(m, 1);
        char* bytes = nullptr;
        int len = 0;
        if (!dbus_message_marshal(m, &bytes, &len))
            return 1;
        const std::string path = std::string(argv[1]) + "/signal" + std::to_string(n++) + ".bin";
        FILE* f = fopen(path.c_str(), "wb");
        if (f == nullptr || fwrite(bytes, 1, len, f) != static_cast<size_t>(len))
            return 1;
        fclose(f);
        dbus_free(bytes);
        dbus_message_unref(m);
    }
    return 0;
}
