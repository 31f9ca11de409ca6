// Dialog-unit conversion as pure functions, so that it is tested without a display.
#include "host/linux/dialog_units.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDefaultDpi = 96;
constexpr int kBaseUnitX96 = 6;
constexpr int kBaseUnitY96 = 13;

// a * b / c rounded half away from zero, for non-negative operands and c > 0.
int MulDivRounded(int a, int b, int c) {
    long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product + c / 2) / c);
}

} // namespace

DialogBaseUnits DialogBaseUnitsForDpi(int dpi) {
    return {MulDivRounded(kBaseUnitX96, dpi, kDefaultDpi),
            MulDivRounded(kBaseUnitY96, dpi, kDefaultDpi)};
}

int DialogUnitsToPixelsX(int units, DialogBaseUnits base) {
    return MulDivRounded(units, base.x, 4);
}

int DialogUnitsToPixelsY(int units, DialogBaseUnits base) {
    return MulDivRounded(units, base.y, 8);
}

int ParseXftDpi(const char* resources) {
    if (resources == nullptr) {
        return kDefaultDpi;
    }
    static const char kKey[] = "Xft.dpi:";
    for (const char* line = resources; *line != '\0';) {
        if (std::strncmp(line, kKey, sizeof kKey - 1) == 0) {
            char* end = nullptr;
            double dpi = std::strtod(line + sizeof kKey - 1, &end);
            if (end != line + sizeof kKey - 1 && dpi >= 24 && dpi <= 960) {
                return static_cast<int>(dpi + 0.5);
            }
            return kDefaultDpi;
        }
        const char* next = std::strchr(line, '\n');
        if (next == nullptr) {
            break;
        }
        line = next + 1;
    }
    return kDefaultDpi;
}
