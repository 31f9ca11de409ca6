// A small D-Bus client of a private KWin session, run as the session's user: runs a KWin script
// and prints what it reports, or prints a window's picture from KWin's screenshot interface as a
// binary PPM. KWin answers screenshot calls only from a program that a desktop file authorises,
// matched by its executable, hence a program of its own rather than calls from the test.
//   tavik_kwin_call script 'JAVASCRIPT'   (the script calls report(text) once, at its end)
//   tavik_kwin_call capture WINDOW-UUID
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kTimeoutMs = 10000;
constexpr const char* kReportInterface = "org.tavik.KwinCall";

// A method of KWin's, `fds` sent with it; its reply, or null with the error said.
GVariant* Call(GDBusConnection* bus, const char* path, const char* interface, const char* method,
               GVariant* args, GUnixFDList* fds = nullptr) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, "org.kde.KWin", path, interface, method, args, nullptr, G_DBUS_CALL_FLAGS_NONE,
        kTimeoutMs, fds, nullptr, nullptr, &error);
    if (reply == nullptr) {
        std::fprintf(stderr, "kwin_call: %s: %s\n", method, error->message);
        g_error_free(error);
    }
    return reply;
}

bool CallScripting(GDBusConnection* bus, const char* method, GVariant* args, GVariant** reply) {
    *reply = Call(bus, "/Scripting", "org.kde.kwin.Scripting", method, args);
    return *reply != nullptr;
}

// The script's report: a method call to this connection, seen on GDBus's own thread as it comes
// in, and left to GDBus, which answers it; the main thread waits until it has come.
// NOTE: filters run on that thread and may still run once removed: the report outlives them.
struct Report {
    std::mutex lock;
    std::condition_variable arrived;
    std::string text;
    bool came = false;
} report;

GDBusMessage* TakeReport(GDBusConnection*, GDBusMessage* message, gboolean incoming, void*) {
    GVariant* body = g_dbus_message_get_body(message);
    std::lock_guard<std::mutex> hold(report.lock);
    if (incoming && !report.came &&
        g_strcmp0(g_dbus_message_get_interface(message), kReportInterface) == 0 &&
        body != nullptr && g_variant_is_of_type(body, G_VARIANT_TYPE("(s)"))) {
        const char* text = nullptr;
        g_variant_get(body, "(&s)", &text);
        report.text = text;
        report.came = true;
        report.arrived.notify_one();
    }
    return message;
}

// Loads the script under a name of its own, starts it, waits for its report and unloads it.
int RunScript(GDBusConnection* bus, const std::string& body) {
    const char* dir = g_getenv("XDG_RUNTIME_DIR");
    if (dir == nullptr) {
        std::fprintf(stderr, "kwin_call: XDG_RUNTIME_DIR is not set\n");
        return 1;
    }
    std::string name = "tavik-call-" + std::to_string(getpid());
    std::string path = std::string(dir) + "/" + name + ".js";
    std::ofstream(path) << "function report(text) { callDBus(\""
                        << g_dbus_connection_get_unique_name(bus) << "\", \"/\", \""
                        << kReportInterface << "\", \"Report\", String(text)); }\n"
                        << "try {\n"
                        << body << "\n} catch (e) { report(\"error: \" + e); }\n";
    g_dbus_connection_add_filter(bus, TakeReport, nullptr, nullptr);
    GVariant* reply = nullptr;
    int id = -1;
    if (CallScripting(bus, "loadScript", g_variant_new("(ss)", path.c_str(), name.c_str()),
                      &reply)) {
        g_variant_get(reply, "(i)", &id);
        g_variant_unref(reply);
    }
    if (id >= 0) {
        if (CallScripting(bus, "start", nullptr, &reply)) {
            g_variant_unref(reply);
            std::unique_lock<std::mutex> hold(report.lock);
            report.arrived.wait_for(hold, std::chrono::milliseconds(kTimeoutMs),
                                    [] { return report.came; });
        }
        if (CallScripting(bus, "unloadScript", g_variant_new("(s)", name.c_str()), &reply)) {
            g_variant_unref(reply);
        }
    }
    unlink(path.c_str());
    std::lock_guard<std::mutex> hold(report.lock);
    if (!report.came) {
        std::fprintf(stderr, "kwin_call: the script %s\n",
                     id < 0 ? "was not loaded" : "reported nothing");
        return 1;
    }
    std::fwrite(report.text.data(), 1, report.text.size(), stdout);
    return report.text.rfind("error: ", 0) == 0 ? 1 : 0;
}

// The window's client area (no frame, no cursor) in the output's own pixels.
int Capture(GDBusConnection* bus, const char* window) {
    int fds[2];
    if (pipe(fds) != 0) {
        return 1;
    }
    // The list takes the pipe's writing end, and closes it once the call is sent.
    GUnixFDList* sent = g_unix_fd_list_new_from_array(&fds[1], 1);
    GVariant* reply =
        Call(bus, "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWindow",
             g_variant_new_parsed("(%s, {'include-decoration': <false>, "
                                  "'include-cursor': <false>, "
                                  "'native-resolution': <true>}, handle 0)",
                                  window),
             sent);
    g_object_unref(sent);
    if (reply == nullptr) {
        close(fds[0]);
        return 1;
    }
    GVariant* results = g_variant_get_child_value(reply, 0);
    guint32 width = 0, height = 0, stride = 0, format = 0;
    g_variant_lookup(results, "width", "u", &width);
    g_variant_lookup(results, "height", "u", &height);
    g_variant_lookup(results, "stride", "u", &stride);
    g_variant_lookup(results, "format", "u", &format);
    g_variant_unref(results);
    g_variant_unref(reply);
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
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "kwin_call: no session bus: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    g_dbus_connection_set_exit_on_close(bus, false);
    int code =
        std::strcmp(argv[1], "script") == 0 ? RunScript(bus, argv[2]) : Capture(bus, argv[2]);
    g_object_unref(bus);
    return code;
}
