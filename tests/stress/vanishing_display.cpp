#include "vanishing_display.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

void Put8(std::vector<unsigned char>* out, unsigned value) {
    out->push_back(static_cast<unsigned char>(value));
}
void Put16(std::vector<unsigned char>* out, unsigned value) {
    Put8(out, value & 0xFF);
    Put8(out, value >> 8);
}
void Put32(std::vector<unsigned char>* out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The server's answer to a connection request, least significant byte first: one 1280 x 1024
// screen of depth 24 with one TrueColor visual, as small as Xlib accepts.
std::vector<unsigned char> SetupReply() {
    std::vector<unsigned char> body;
    Put32(&body, 1);          // release number
    Put32(&body, 0x00200000); // resource id base
    Put32(&body, 0x001FFFFF); // resource id mask
    Put32(&body, 0);          // motion buffer size
    Put16(&body, 4);          // length of the vendor string
    Put16(&body, 0xFFFF);     // maximum request length
    Put8(&body, 1);           // screens
    Put8(&body, 1);           // pixmap formats
    Put8(&body, 0);           // image byte order: LSB first
    Put8(&body, 0);           // bitmap bit order: LSB first
    Put8(&body, 32);          // bitmap scanline unit
    Put8(&body, 32);          // bitmap scanline pad
    Put8(&body, 8);           // min keycode
    Put8(&body, 255);         // max keycode
    Put32(&body, 0);
    for (char c : {'t', 'e', 's', 't'}) {
        Put8(&body, static_cast<unsigned char>(c));
    }
    // Pixmap format: depth 24, 32 bits per pixel, scanline pad 32.
    Put8(&body, 24);
    Put8(&body, 32);
    Put8(&body, 32);
    for (int i = 0; i < 5; ++i) {
        Put8(&body, 0);
    }
    // Screen.
    Put32(&body, 0x100);    // root window
    Put32(&body, 0x20);     // default colormap
    Put32(&body, 0xFFFFFF); // white pixel
    Put32(&body, 0);        // black pixel
    Put32(&body, 0);        // current input masks
    Put16(&body, 1280);
    Put16(&body, 1024);
    Put16(&body, 338); // millimetres
    Put16(&body, 270);
    Put16(&body, 1);    // min installed maps
    Put16(&body, 1);    // max installed maps
    Put32(&body, 0x21); // root visual
    Put8(&body, 0);     // backing stores: never
    Put8(&body, 0);     // save unders
    Put8(&body, 24);    // root depth
    Put8(&body, 1);     // allowed depths
    // Depth 24 with one visual.
    Put8(&body, 24);
    Put8(&body, 0);
    Put16(&body, 1);
    Put32(&body, 0);
    Put32(&body, 0x21); // visual id
    Put8(&body, 4);     // TrueColor
    Put8(&body, 8);     // bits per RGB value
    Put16(&body, 256);  // colormap entries
    Put32(&body, 0xFF0000);
    Put32(&body, 0x00FF00);
    Put32(&body, 0x0000FF);
    Put32(&body, 0);

    std::vector<unsigned char> reply;
    Put8(&reply, 1); // success
    Put8(&reply, 0);
    Put16(&reply, 11); // protocol 11.0
    Put16(&reply, 0);
    Put16(&reply, static_cast<unsigned>(body.size() / 4));
    reply.insert(reply.end(), body.begin(), body.end());
    return reply;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd readable = {fd, POLLIN, 0};
    return poll(&readable, 1, timeoutMs) == 1;
}

// Reads exactly `size` bytes unless the peer goes or `timeoutMs` passes between two reads.
bool ReadFully(int fd, unsigned char* data, size_t size, int timeoutMs) {
    for (size_t done = 0; done < size;) {
        if (!WaitReadable(fd, timeoutMs)) {
            return false;
        }
        ssize_t got = read(fd, data + done, size - done);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
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
        char pid[16];
        std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(getpid()));
        bool written = write(lock, pid, 11) == 11;
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
    // Byte order, unused, protocol version, lengths of the authorisation name and data, unused.
    unsigned char request[12];
    bool served = false;
    if (!ReadFully(client, request, sizeof request, timeoutMs)) {
        *error = "no connection request";
    } else if (request[0] != 'l') {
        *error = "the client asked for most significant byte first";
    } else {
        size_t authorisation =
            Padded(request[6] | request[7] << 8) + Padded(request[8] | request[9] << 8);
        std::vector<unsigned char> ignored(authorisation);
        std::vector<unsigned char> reply = SetupReply();
        unsigned char first = 0;
        if (!ReadFully(client, ignored.data(), ignored.size(), timeoutMs) ||
            write(client, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) {
            *error = "the connection set-up failed";
        } else if (!ReadFully(client, &first, 1, timeoutMs)) {
            *error = "the client sent no request after the set-up";
        } else {
            served = true;
        }
    }
    close(client);
    return served;
}
