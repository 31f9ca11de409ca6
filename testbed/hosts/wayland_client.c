// A small Wayland client of a private compositor, run as the session's user.
//   tavik_wayland_client pointer X Y WIDTH HEIGHT
// A pointer for a private sway, whose headless seat has no input device: a virtual pointer of
// wlroots' protocol (its first requests, declared here from its wire description), moved to a
// point of the WIDTH x HEIGHT output layout, that stays until this program is ended. Prints
// "ready" once sway has had the motion.
//   tavik_wayland_client scale SCALE
// Sets the scale of every output of a private KWin through KDE's output management, as the
// display settings do, and waits for KWin's answer. Exits 0 once KWin has applied it.
// Otherwise either says why on standard error and exits 1.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

static const struct wl_interface pointerInterface;
static const struct wl_interface* types[] = {
    &wl_seat_interface, &pointerInterface, NULL, NULL, NULL, NULL, NULL};
static const struct wl_message managerRequests[] = {{"create_virtual_pointer", "?on", types}};
static const struct wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, managerRequests, 0, NULL};
static const struct wl_message pointerRequests[] = {{"motion", "uff", types + 2},
                                                    {"motion_absolute", "uuuuu", types + 2},
                                                    {"button", "uuu", types + 2},
                                                    {"axis", "uuf", types + 2},
                                                    {"frame", "", types + 2}};
static const struct wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 5,
                                                     pointerRequests,           0, NULL};

enum { kMaxOutputs = 8 };

struct Globals {
    struct wl_registry* registry;
    struct wl_proxy* pointerManager;
    struct kde_output_management_v2* management;
    struct kde_output_device_v2* outputs[kMaxOutputs];
    int outputCount;
    struct wl_proxy** modes; // the devices' modes, objects that KWin makes
    int modeCount;
    int answer; // 0 until KWin answers; then 1 applied, -1 failed
};

// The devices' events are not needed; the modes they announce are kept only to be let go at the
// end. NOTE: a mode let go at once leaks in libwayland 1.21, through the current_mode event that
// names it and still holds it when it is dispatched.
static int DeviceEvent(const void* implementation, void* device, uint32_t opcode,
                       const struct wl_message* message, union wl_argument* arguments) {
    struct Globals* globals = wl_proxy_get_user_data(device);
    (void)implementation;
    (void)opcode;
    if (strcmp(message->name, "mode") == 0) {
        globals->modes =
            realloc(globals->modes, sizeof(*globals->modes) * (globals->modeCount + 1));
        if (globals->modes == NULL) {
            abort();
        }
        globals->modes[globals->modeCount++] = (struct wl_proxy*)arguments[0].o;
    }
    return 0;
}

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    struct Globals* globals = data;
    (void)version;
    if (strcmp(interface, managerInterface.name) == 0) {
        globals->pointerManager = wl_registry_bind(registry, name, &managerInterface, 1);
    } else if (strcmp(interface, kde_output_management_v2_interface.name) == 0) {
        globals->management =
            wl_registry_bind(registry, name, &kde_output_management_v2_interface, 1);
    } else if (strcmp(interface, kde_output_device_v2_interface.name) == 0 &&
               globals->outputCount < kMaxOutputs) {
        struct wl_proxy* device =
            wl_registry_bind(registry, name, &kde_output_device_v2_interface, 1);
        wl_proxy_add_dispatcher(device, DeviceEvent, NULL, globals);
        globals->outputs[globals->outputCount++] = (struct kde_output_device_v2*)device;
    }
}

static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener kRegistryListener = {Global, GlobalRemove};

static void Applied(void* data, struct kde_output_configuration_v2* configuration) {
    (void)configuration;
    ((struct Globals*)data)->answer = 1;
}

static void Failed(void* data, struct kde_output_configuration_v2* configuration) {
    (void)configuration;
    ((struct Globals*)data)->answer = -1;
}

static const struct kde_output_configuration_v2_listener kConfigurationListener = {Applied, Failed};

static int Point(struct wl_display* display, struct Globals* globals, char** argv) {
    if (globals->pointerManager == NULL) {
        fputs("wayland_client: the compositor offers no virtual pointer\n", stderr);
        return 1;
    }
    struct wl_proxy* pointer =
        wl_proxy_marshal_flags(globals->pointerManager, 0, &pointerInterface, 1, 0, NULL, NULL);
    wl_proxy_marshal_flags(pointer, 1, NULL, 1, 0, 0u, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]),
                           atoi(argv[5]));
    wl_proxy_marshal_flags(pointer, 4, NULL, 1, 0);
    if (wl_display_roundtrip(display) < 0) {
        return 1;
    }
    puts("ready");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}

static int Scale(struct wl_display* display, struct Globals* globals, const char* scale) {
    if (globals->management == NULL || globals->outputCount == 0) {
        fprintf(stderr, "wayland_client: KWin offers %s\n",
                globals->management == NULL ? "no kde_output_management_v2" : "no output device");
        return 1;
    }
    struct kde_output_configuration_v2* configuration =
        kde_output_management_v2_create_configuration(globals->management);
    kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, globals);
    for (int i = 0; i < globals->outputCount; ++i) {
        kde_output_configuration_v2_scale(configuration, globals->outputs[i],
                                          wl_fixed_from_double(strtod(scale, NULL)));
    }
    kde_output_configuration_v2_apply(configuration);
    while (globals->answer == 0 && wl_display_dispatch(display) != -1) {
    }
    if (globals->answer != 1) {
        fprintf(stderr, "wayland_client: KWin %s scale %s\n",
                globals->answer == -1 ? "refused" : "left before answering", scale);
    }
    // Everything let go, for the leak checker of sanitized builds: first what KWin sent with its
    // answer (the devices' new state, which may announce modes), which only dispatching frees.
    wl_display_roundtrip(display);
    kde_output_configuration_v2_destroy(configuration);
    return globals->answer == 1 ? 0 : 1;
}

int main(int argc, char** argv) {
    char* end = NULL;
    int point = argc == 6 && strcmp(argv[1], "pointer") == 0;
    int scale =
        argc == 3 && strcmp(argv[1], "scale") == 0 && strtod(argv[2], &end) > 0 && *end == '\0';
    if (!point && !scale) {
        fprintf(stderr, "usage: %s pointer X Y WIDTH HEIGHT | scale SCALE\n", argv[0]);
        return 2;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fputs("wayland_client: cannot connect to the compositor\n", stderr);
        return 1;
    }
    struct Globals globals = {0};
    globals.registry = wl_display_get_registry(display);
    wl_registry_add_listener(globals.registry, &kRegistryListener, &globals);
    // The globals; then the devices' first state, which KWin sends as they are bound.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    int code = point ? Point(display, &globals, argv) : Scale(display, &globals, argv[2]);
    for (int i = 0; i < globals.outputCount; ++i) {
        kde_output_device_v2_destroy(globals.outputs[i]);
    }
    for (int i = 0; i < globals.modeCount; ++i) {
        wl_proxy_destroy(globals.modes[i]);
    }
    free(globals.modes);
    if (globals.management != NULL) {
        kde_output_management_v2_destroy(globals.management);
    }
    wl_registry_destroy(globals.registry);
    wl_display_disconnect(display);
    return code;
}
