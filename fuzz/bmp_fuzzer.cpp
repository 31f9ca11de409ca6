// libFuzzer target for the BMP reader. Every input goes through DecodeBMP, whose result must be
// null with the sizes untouched or a fully readable buffer of the reported size; the same bytes
// as a file must give LoadBMP exactly the same result, since the two read on different paths.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "image/bmp_reader.h"

namespace {

constexpr int UNTOUCHED = -7;

const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tavik_fuzz_" +
               std::to_string(getpid()) + ".bmp";
    }();
    return path;
}

// LoadBMP on the same bytes, written to a file.
unsigned char* LoadAsFile(const uint8_t* data, size_t size, int* width, int* height) {
    FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", ScratchPath().c_str());
        __builtin_trap();
    }
    return LoadBMP(ScratchPath().c_str(), width, height);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = UNTOUCHED, height = UNTOUCHED;
    unsigned char* pixels = DecodeBMP(data, size, &width, &height);
    if (pixels == nullptr) {
        if (width != UNTOUCHED || height != UNTOUCHED) {
            __builtin_trap();
        }
    } else if (width <= 0 || height <= 0 || static_cast<uint64_t>(width) * height * 3 > size * 3) {
        __builtin_trap();
    }

    int fileWidth = UNTOUCHED, fileHeight = UNTOUCHED;
    unsigned char* filePixels = LoadAsFile(data, size, &fileWidth, &fileHeight);
    if ((pixels == nullptr) != (filePixels == nullptr) || fileWidth != width ||
        fileHeight != height) {
        __builtin_trap();
    }
    if (pixels != nullptr) {
        // Reads every byte, so a buffer shorter than reported is caught by the address sanitizer.
        if (std::memcmp(pixels, filePixels, static_cast<size_t>(width) * height * 3) != 0) {
            __builtin_trap();
        }
    }
    delete[] pixels;
    delete[] filePixels;
    return 0;
}
