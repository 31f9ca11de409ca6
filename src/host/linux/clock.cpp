// The clock of the layer's timers. It has a file of its own so that a test program can link its
// own NowNs in its place and drive the timer grid by hand; the program always links this one.
#include "host/linux/layer.h"

#include <ctime>

std::int64_t NowNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
