// Icons of the Linux layer: the program's icon group as LoadImageW gives it, and the icon sizes
// GetSystemMetrics tells. An icon is the program's own data, so every load of it gives the same
// handle, which lives as long as the process, as an LR_SHARED icon does on Windows.
#include "host/linux/layer.h"

#include "host/resource.h"

namespace {

// The sizes Windows gives a program that does not declare itself aware of the display's DPI.
constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;

IconLinux* Icons(std::size_t* count) {
    static IconLinux icons[] = {{IDI_TAVIK, kTavikIconLinux, kTavikIconLinuxLength}};
    *count = sizeof icons / sizeof icons[0];
    return icons;
}

} // namespace

bool KnownIconLinux(HICON icon) {
    std::size_t count = 0;
    IconLinux* icons = Icons(&count);
    for (std::size_t i = 0; i < count; ++i) {
        if (icon == &icons[i]) {
            return true;
        }
    }
    return false;
}

// The size and flags are the window system's to choose by: it is given every picture of the icon.
// A name that is not a number never matches, so a string is compared but never read.
HANDLE LoadImageW(HINSTANCE, LPCWSTR name, UINT type, int, int, UINT) {
    if (type != IMAGE_ICON) {
        return nullptr;
    }
    std::size_t count = 0;
    IconLinux* icons = Icons(&count);
    auto id = reinterpret_cast<UINT_PTR>(name);
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<UINT_PTR>(icons[i].id) == id) {
            return &icons[i];
        }
    }
    return nullptr;
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return kIconSize;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return kSmallIconSize;
    default:
        return 0;
    }
}
