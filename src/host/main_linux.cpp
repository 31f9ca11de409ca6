// On Linux the program starts here and runs the same entry point as on Windows.
#include "host/platform.h"

int main() {
    return WinMain(nullptr, nullptr, nullptr, 0);
}
