// A small Wayland client of a private KWin session, run as the session's user: sets the scale of
// every output through KDE's output management, as the display settings do, and waits for KWin's
// answer. Exits 0 once KWin has applied it; otherwise says why on standard error.
//   tavik_kwin_output_scale SCALE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

enum { kMaxOutputs = 8 };

struct Globals {
    struct wl_registry* registry;
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
    if (strcmp(interface, kde_output_management_v2_interface.name) == 0) {
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
    (void)data;
    (void)registry;
    (void)name;
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

int main(int argc, char** argv) {
    char* end = NULL;
    double scale = argc == 2 ? strtod(argv[1], &end) : 0;
    if (argc != 2 || *end != '\0' || scale <= 0) {
        fprintf(stderr, "usage: %s SCALE\n", argv[0]);
        return 2;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fprintf(stderr, "output_scale: cannot connect to the compositor\n");
        return 1;
    }
    struct Globals globals = {0};
    globals.registry = wl_display_get_registry(display);
    wl_registry_add_listener(globals.registry, &kRegistryListener, &globals);
    // The globals; then the devices' first state, which KWin sends as they are bound.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (globals.management == NULL || globals.outputCount == 0) {
        fprintf(stderr, "output_scale: KWin offers %s\n",
                globals.management == NULL ? "no kde_output_management_v2" : "no output device");
        return 1;
    }
    struct kde_output_configuration_v2* configuration =
        kde_output_management_v2_create_configuration(globals.management);
    kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, &globals);
    for (int i = 0; i < globals.outputCount; ++i) {
        kde_output_configuration_v2_scale(configuration, globals.outputs[i],
                                          wl_fixed_from_double(scale));
    }
    kde_output_configuration_v2_apply(configuration);
    while (globals.answer == 0 && wl_display_dispatch(display) != -1) {
    }
    if (globals.answer != 1) {
        fprintf(stderr, "output_scale: KWin %s scale %s\n",
                globals.answer == -1 ? "refused" : "left before answering", argv[1]);
    }
    // Everything let go, for the leak checker of sanitized builds: first what KWin sent with its
    // answer (the devices' new state, which may announce modes), which only dispatching frees.
    wl_display_roundtrip(display);
    kde_output_configuration_v2_destroy(configuration);
    for (int i = 0; i < globals.outputCount; ++i) {
        kde_output_device_v2_destroy(globals.outputs[i]);
    }
    for (int i = 0; i < globals.modeCount; ++i) {
        wl_proxy_destroy(globals.modes[i]);
    }
    free(globals.modes);
    kde_output_management_v2_destroy(globals.management);
    wl_registry_destroy(globals.registry);
    wl_display_disconnect(display);
    return globals.answer == 1 ? 0 : 1;
}
