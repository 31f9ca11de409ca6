// A pointer for a private sway, whose headless seat has no input device: a virtual pointer of
// wlroots' protocol (its first requests, declared here from its wire description), moved to a
// point of the output layout, that stays until this program is ended. Prints "ready" once sway
// has had the motion; otherwise says why on standard error and exits 1.
//   tavik_virtual_pointer X Y WIDTH HEIGHT   (a point of the WIDTH x HEIGHT layout)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

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
static struct wl_proxy* manager;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data, (void)version;
    if (strcmp(interface, managerInterface.name) == 0) {
        manager = wl_registry_bind(registry, name, &managerInterface, 1);
    }
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

int main(int argc, char** argv) {
    static const struct wl_registry_listener listener = {Global, GlobalRemove};
    struct wl_display* display = argc == 5 ? wl_display_connect(NULL) : NULL;
    if (display != NULL) {
        wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
        wl_display_roundtrip(display);
    }
    if (manager == NULL) {
        fputs("usage: tavik_virtual_pointer X Y WIDTH HEIGHT, in a wlroots compositor\n", stderr);
        return 1;
    }
    struct wl_proxy* pointer =
        wl_proxy_marshal_flags(manager, 0, &pointerInterface, 1, 0, NULL, NULL);
    wl_proxy_marshal_flags(pointer, 1, NULL, 1, 0, 0u, atoi(argv[1]), atoi(argv[2]), atoi(argv[3]),
                           atoi(argv[4]));
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
