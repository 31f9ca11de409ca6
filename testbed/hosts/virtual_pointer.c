// A pointer for a private sway, whose headless seat has no input device: a virtual pointer of
// wlroots' protocol, moved to a point of the output layout, that stays until this program is
// ended, so that the seat keeps a pointer there. Prints "ready" once sway has had the motion;
// otherwise says why on standard error and exits 1.
//   tavik_virtual_pointer X Y WIDTH HEIGHT   (a point of the WIDTH x HEIGHT layout)
// The protocol's two interfaces (version 1) are declared here from its wire description.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

static const struct wl_interface pointerInterface;
static const struct wl_interface* noTypes[] = {NULL, NULL, NULL, NULL, NULL};
static const struct wl_interface* createTypes[] = {&wl_seat_interface, &pointerInterface};
static const struct wl_message managerRequests[] = {{"create_virtual_pointer", "?on", createTypes},
                                                    {"destroy", "", noTypes}};
static const struct wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0, NULL};
static const struct wl_message pointerRequests[] = {
    {"motion", "uff", noTypes},   {"motion_absolute", "uuuuu", noTypes},
    {"button", "uuu", noTypes},   {"axis", "uuf", noTypes},
    {"frame", "", noTypes},       {"axis_source", "u", noTypes},
    {"axis_stop", "uu", noTypes}, {"axis_discrete", "uufi", noTypes},
    {"destroy", "", noTypes}};
static const struct wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 9,
                                                     pointerRequests,           0, NULL};
enum { kCreate = 0, kMotionAbsolute = 1, kFrame = 4 };

static struct wl_proxy* manager;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    (void)version;
    if (strcmp(interface, managerInterface.name) == 0) {
        manager = wl_registry_bind(registry, name, &managerInterface, 1);
    }
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}
static const struct wl_registry_listener registryListener = {Global, GlobalRemove};

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: tavik_virtual_pointer X Y WIDTH HEIGHT\n", stderr);
        return 1;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fputs("cannot connect to the compositor\n", stderr);
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    wl_display_roundtrip(display);
    if (manager == NULL) {
        fputs("the compositor offers no zwlr_virtual_pointer_manager_v1\n", stderr);
        return 1;
    }
    struct wl_proxy* pointer =
        wl_proxy_marshal_flags(manager, kCreate, &pointerInterface, 1, 0, NULL, NULL);
    wl_proxy_marshal_flags(pointer, kMotionAbsolute, NULL, 1, 0, 0u, (uint32_t)atoi(argv[1]),
                           (uint32_t)atoi(argv[2]), (uint32_t)atoi(argv[3]),
                           (uint32_t)atoi(argv[4]));
    wl_proxy_marshal_flags(pointer, kFrame, NULL, 1, 0);
    if (wl_display_roundtrip(display) < 0) {
        fputs("the compositor ended the connection\n", stderr);
        return 1;
    }
    puts("ready");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
