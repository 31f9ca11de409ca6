// An X server that is gone as soon as it has let a client in: it listens on a display number of
// its own, accepts one connection, sends a valid connection set-up, and closes the connection when
// the client's first request arrives. The client sees its display go away inside XOpenDisplay,
// the earliest moment at which a lost connection can be noticed.
#pragma once

#include <string>

class VanishingDisplay {
  public:
    VanishingDisplay() = default;
    ~VanishingDisplay();
    VanishingDisplay(const VanishingDisplay&) = delete;
    VanishingDisplay& operator=(const VanishingDisplay&) = delete;

    // Reserves a free display number (its lock file, as X servers do) and listens on its socket;
    // false with the reason in *error when it cannot.
    bool Listen(std::string* error);
    // ":N"
    const std::string& display() const { return display_; }
    // Serves one client as described above; false, with the reason in *error, when no client
    // came or it sent no request within `timeoutMs`.
    bool ServeOneClient(int timeoutMs, std::string* error);

  private:
    int number_ = -1;
    int listener_ = -1;
    std::string display_;
};
