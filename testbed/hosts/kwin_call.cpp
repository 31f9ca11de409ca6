// A small D-Bus client of a private KWin session, run as the session's user: runs a KWin script
// and prints what it reports, or prints a window's picture from KWin's screenshot interface as a
// binary PPM. KWin answers screenshot calls only from a program that a desktop file authorises,
// matched by its executable, hence a program of its own rather than calls from the test.
//   tavik_kwin_call script 'JAVASCRIPT'   (the script calls report(text) once, at its end)
//   tavik_kwin_call capture WINDOW-UUID
#include <dbus/dbus.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kTimeoutMs = 10000;
constexpr const char* kReportInterface = "org.tavik.KwinCall";

DBusMessage* Call(DBusConnection* bus, DBusMessage* call) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, kTimeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        std::fprintf(stderr, "kwin_call: %s: %s\n", error.name, error.message);
        dbus_error_free(&error);
    }
    return reply;
}

DBusMessage* NewScriptingCall(const char* method) {
    return dbus_message_new_method_call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                        method);
}

// Waits for the script's report, a method call to this connection; answers it.
bool WaitForReport(DBusConnection* bus, std::string* text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        // The report may have come in already, queued while the start call waited for its reply.
        DBusMessage* message = dbus_connection_pop_message(bus);
        if (message == nullptr) {
            if (!dbus_connection_read_write(bus, 100)) {
                return false;
            }
            continue;
        }
        bool report = dbus_message_is_method_call(message, kReportInterface, "Report");
        const char* value = nullptr;
        if (report &&
            dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &value, DBUS_TYPE_INVALID)) {
            *text = value;
        }
        if (report && !dbus_message_get_no_reply(message)) {
            DBusMessage* reply = dbus_message_new_method_return(message);
            dbus_connection_send(bus, reply, nullptr);
            dbus_message_unref(reply);
            dbus_connection_flush(bus);
        }
        dbus_message_unref(message);
        if (report) {
            return true;
        }
    }
    return false;
}

// Loads the script under a name of its own, starts it, waits for its report and unloads it.
int RunScript(DBusConnection* bus, const std::string& body) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir == nullptr) {
        std::fprintf(stderr, "kwin_call: XDG_RUNTIME_DIR is not set\n");
        return 1;
    }
    std::string name = "tavik-call-" + std::to_string(getpid());
    std::string path = std::string(dir) + "/" + name + ".js";
    {
        std::ofstream script(path);
        script << "function report(text) { callDBus(\"" << dbus_bus_get_unique_name(bus)
               << "\", \"/\", \"" << kReportInterface << "\", \"Report\", String(text)); }\n"
               << "try {\n"
               << body << "\n} catch (e) { report(\"error: \" + e); }\n";
    }
    DBusMessage* load = NewScriptingCall("loadScript");
    const char* file = path.c_str();
    const char* plugin = name.c_str();
    dbus_message_append_args(load, DBUS_TYPE_STRING, &file, DBUS_TYPE_STRING, &plugin,
                             DBUS_TYPE_INVALID);
    DBusMessage* loaded = Call(bus, load);
    dbus_int32_t id = -1;
    if (loaded != nullptr) {
        dbus_message_get_args(loaded, nullptr, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID);
        dbus_message_unref(loaded);
    }
    std::string text;
    bool reported = false;
    if (id >= 0) {
        if (DBusMessage* started = Call(bus, NewScriptingCall("start"))) {
            dbus_message_unref(started);
            reported = WaitForReport(bus, &text);
        }
        DBusMessage* unload = NewScriptingCall("unloadScript");
        dbus_message_append_args(unload, DBUS_TYPE_STRING, &plugin, DBUS_TYPE_INVALID);
        if (DBusMessage* unloaded = Call(bus, unload)) {
            dbus_message_unref(unloaded);
        }
    }
    unlink(path.c_str());
    if (!reported) {
        std::fprintf(stderr, "kwin_call: the script %s\n",
                     id < 0 ? "was not loaded" : "reported nothing");
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return text.rfind("error: ", 0) == 0 ? 1 : 0;
}

void AppendBoolOption(DBusMessageIter* options, const char* key, bool on) {
    DBusMessageIter entry, variant;
    dbus_bool_t value = on;
    dbus_message_iter_open_container(options, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "b", &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(options, &entry);
}

// The unsigned numbers of the capture's answer: width, height, stride, format.
uint32_t ResultNumber(DBusMessage* reply, const char* wanted) {
    DBusMessageIter args, results;
    if (!dbus_message_iter_init(reply, &args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY) {
        return 0;
    }
    dbus_message_iter_recurse(&args, &results);
    for (; dbus_message_iter_get_arg_type(&results) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&results)) {
        DBusMessageIter entry, variant;
        dbus_message_iter_recurse(&results, &entry);
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        dbus_message_iter_next(&entry);
        dbus_message_iter_recurse(&entry, &variant);
        if (std::strcmp(key, wanted) == 0 &&
            dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_UINT32) {
            dbus_uint32_t value = 0;
            dbus_message_iter_get_basic(&variant, &value);
            return value;
        }
    }
    return 0;
}

// The window's client area (no frame, no cursor) in the output's own pixels.
int Capture(DBusConnection* bus, const char* window) {
    int fds[2];
    if (pipe(fds) != 0) {
        return 1;
    }
    DBusMessage* call = dbus_message_new_method_call("org.kde.KWin", "/org/kde/KWin/ScreenShot2",
                                                     "org.kde.KWin.ScreenShot2", "CaptureWindow");
    DBusMessageIter args, options;
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &window);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &options);
    AppendBoolOption(&options, "include-decoration", false);
    AppendBoolOption(&options, "include-cursor", false);
    AppendBoolOption(&options, "native-resolution", true);
    dbus_message_iter_close_container(&args, &options);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UNIX_FD, &fds[1]);
    DBusMessage* reply = Call(bus, call);
    close(fds[1]);
    if (reply == nullptr) {
        close(fds[0]);
        return 1;
    }
    uint32_t width = ResultNumber(reply, "width"), height = ResultNumber(reply, "height");
    uint32_t stride = ResultNumber(reply, "stride"), format = ResultNumber(reply, "format");
    dbus_message_unref(reply);
    std::vector<unsigned char> data;
    unsigned char chunk[65536];
    for (ssize_t got; (got = read(fds[0], chunk, sizeof(chunk))) > 0;) {
        data.insert(data.end(), chunk, chunk + got);
    }
    close(fds[0]);
    // QImage's 32-bit formats: RGB32, ARGB32 and its premultiplied form (4, 5, 6) hold 0xAARRGGBB
    // words, so B, G, R, A bytes here; RGBX8888, RGBA8888 and its premultiplied form (16, 17, 18)
    // hold R, G, B, A bytes.
    bool bgra = format >= 4 && format <= 6, rgba = format >= 16 && format <= 18;
    if ((!bgra && !rgba) || width == 0 || stride < width * 4 ||
        data.size() < static_cast<size_t>(stride) * height) {
        std::fprintf(stderr,
                     "kwin_call: unexpected picture: %ux%u, stride %u, format %u, %zu bytes\n",
                     width, height, stride, format, data.size());
        return 1;
    }
    std::printf("P6\n%u %u\n255\n", width, height);
    std::vector<unsigned char> row(width * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const unsigned char* in = data.data() + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < width; ++x) {
            row[x * 3 + 0] = in[x * 4 + (bgra ? 2 : 0)];
            row[x * 3 + 1] = in[x * 4 + 1];
            row[x * 3 + 2] = in[x * 4 + (bgra ? 0 : 2)];
        }
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 ||
        (std::strcmp(argv[1], "script") != 0 && std::strcmp(argv[1], "capture") != 0)) {
        std::fprintf(stderr, "usage: %s script JAVASCRIPT | capture WINDOW-UUID\n", argv[0]);
        return 2;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "kwin_call: no session bus: %s\n", error.message);
        dbus_error_free(&error);
        return 1;
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    int code =
        std::strcmp(argv[1], "script") == 0 ? RunScript(bus, argv[2]) : Capture(bus, argv[2]);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return code;
}
