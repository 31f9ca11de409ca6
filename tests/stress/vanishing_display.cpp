#include "vanishing_display.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xproto.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string LockPath(int number) {
    return "/tmp/.X" + std::to_string(number) + "-lock";
}

std::string SocketPath(int number) {
    return "/tmp/.X11-unix/X" + std::to_string(number);
}

// The server's answer to a connection request, in xcb's wire structures, least significant byte
// first as the client asked (the machines this runs on are little-endian): one 1280 x 1024 screen
// of depth 24 with one TrueColor visual, as small as Xlib accepts.
struct SetupReply {
    xcb_setup_t setup;
    char vendor[4];
    xcb_format_t format;
    xcb_screen_t screen;
    xcb_depth_t depth;
    xcb_visualtype_t visual;
};
static_assert(sizeof(SetupReply) == 124, "the structures are the wire's, without padding");

SetupReply MakeSetupReply() {
    SetupReply reply = {};
    reply.setup.status = 1; // success
    reply.setup.protocol_major_version = 11;
    reply.setup.length = (sizeof reply - 8) / 4;
    reply.setup.release_number = 1;
    reply.setup.resource_id_base = 0x00200000;
    reply.setup.resource_id_mask = 0x001FFFFF;
    reply.setup.vendor_len = sizeof reply.vendor;
    reply.setup.maximum_request_length = 0xFFFF;
    reply.setup.roots_len = 1;
    reply.setup.pixmap_formats_len = 1;
    reply.setup.bitmap_format_scanline_unit = 32;
    reply.setup.bitmap_format_scanline_pad = 32;
    reply.setup.min_keycode = 8;
    reply.setup.max_keycode = 255;
    std::memcpy(reply.vendor, "test", sizeof reply.vendor);
    reply.format = {24, 32, 32, {}}; // depth, bits per pixel, scanline pad
    reply.screen.root = 0x100;
    reply.screen.default_colormap = 0x20;
    reply.screen.white_pixel = 0xFFFFFF;
    reply.screen.width_in_pixels = 1280;
    reply.screen.height_in_pixels = 1024;
    reply.screen.width_in_millimeters = 338;
    reply.screen.height_in_millimeters = 270;
    reply.screen.min_installed_maps = 1;
    reply.screen.max_installed_maps = 1;
    reply.screen.root_visual = 0x21;
    reply.screen.root_depth = 24;
    reply.screen.allowed_depths_len = 1;
    reply.depth = {24, 0, 1, {}}; // depth, visuals
    reply.visual = {0x21, XCB_VISUAL_CLASS_TRUE_COLOR, 8, 256, 0xFF0000, 0x00FF00, 0x0000FF, {}};
    return reply;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd readable = {fd, POLLIN, 0};
    return poll(&readable, 1, timeoutMs) == 1;
}

// Reads exactly `size` bytes unless the peer goes or the socket's receive time-out passes. (A
// read of none would wait for a byte.)
bool ReadFully(int fd, void* data, size_t size) {
    return size == 0 || recv(fd, data, size, MSG_WAITALL) == static_cast<ssize_t>(size);
}

size_t Padded(size_t size) {
    return (size + 3) & ~size_t{3};
}

} // namespace

VanishingDisplay::~VanishingDisplay() {
    if (listener_ >= 0) {
        close(listener_);
    }
    if (number_ >= 0) {
        unlink(SocketPath(number_).c_str());
        unlink(LockPath(number_).c_str());
    }
}

bool VanishingDisplay::Listen(std::string* error) {
    // Numbers far above the ones Xvfb -displayfd picks first; the lock file keeps X servers
    // started meanwhile off this one.
    for (int number = 700; number < 800 && number_ < 0; ++number) {
        int lock = open(LockPath(number).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
        if (lock < 0) {
            continue;
        }
        bool written = dprintf(lock, "%10d\n", static_cast<int>(getpid())) == 11;
        close(lock);
        if (written && access(SocketPath(number).c_str(), F_OK) != 0) {
            number_ = number;
        } else {
            unlink(LockPath(number).c_str());
        }
    }
    if (number_ < 0) {
        *error = "no free display number from 700 to 799";
        return false;
    }
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketPath(number_).c_str(), sizeof address.sun_path - 1);
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0) {
        *error = "cannot listen on " + SocketPath(number_) + ": " + std::strerror(errno);
        return false;
    }
    display_ = ":" + std::to_string(number_);
    return true;
}

bool VanishingDisplay::ServeOneClient(int timeoutMs, std::string* error) {
    if (!WaitReadable(listener_, timeoutMs)) {
        *error = "no client connected";
        return false;
    }
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) {
        *error = "accept failed";
        return false;
    }
    const timeval limit = {timeoutMs / 1000, timeoutMs % 1000 * 1000};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    xcb_setup_request_t request;
    bool served = false;
    if (!ReadFully(client, &request, sizeof request)) {
        *error = "no connection request";
    } else if (request.byte_order != 'l') {
        *error = "the client asked for most significant byte first";
    } else {
        std::vector<unsigned char> ignored(Padded(request.authorization_protocol_name_len) +
                                           Padded(request.authorization_protocol_data_len));
        SetupReply reply = MakeSetupReply();
        unsigned char first = 0;
        if (!ReadFully(client, ignored.data(), ignored.size()) ||
            write(client, &reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) {
            *error = "the connection set-up failed";
        } else if (!ReadFully(client, &first, 1)) {
            *error = "the client sent no request after the set-up";
        } else {
            served = true;
        }
    }
    close(client);
    return served;
}
