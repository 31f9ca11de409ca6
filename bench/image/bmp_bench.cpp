// Speed of LoadBMP on 24-bit files, beside stb_image's stbi_load and the floor: opening the
// file, allocating a fresh buffer of its size and reading it whole. The reader is timed as two
// builds of the same source, at -O2 and at -O3 (bmp_reader_build.cpp). Page cache warm, best of
// several interleaved runs. Prints figures; it asserts nothing.
//
//   bmp_bench [DIR]                  writes 4096 x 4096 and 256 x 256 files to DIR (default:
//                                    the temporary directory) and times them
//   bmp_bench --write-256 FILE       writes the 256 x 256 file only
//   bmp_bench --once loadbmp-o2|loadbmp-o3|stb FILE
//                                    reads FILE once untimed, then once more with callgrind's
//                                    collection on (see bench/bmp_callgrind.sh)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <stb_image.h>
#include <valgrind/callgrind.h>

#include "bmp_writer.h"

// The two builds of the reader.
namespace o2 {
unsigned char* LoadBMP(const char* filename, int* pWidth, int* pHeight);
}
namespace o3 {
unsigned char* LoadBMP(const char* filename, int* pWidth, int* pHeight);
}

namespace {

using Clock = std::chrono::steady_clock;

// Keeps the compiler from dropping reads whose result is otherwise unused.
volatile unsigned sink;

bool WriteBenchFile(const std::string& path, int side) {
    return WriteBytes(path, EncodeBmp(PatternImage(side, side, 24)));
}

// Reads one byte of what a reader returned, so that the read is not dropped; a reader that
// failed ends the benchmark.
void Use(const unsigned char* bytes, size_t at) {
    if (bytes == nullptr) {
        std::abort();
    }
    sink = sink + bytes[at];
}

void ReadFloor(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::abort();
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    unsigned char* bytes = new unsigned char[size];
    const bool read = std::fread(bytes, 1, size, file) == static_cast<size_t>(size);
    std::fclose(file);
    Use(read ? bytes : nullptr, size / 2);
    delete[] bytes;
}

template <unsigned char* (*Load)(const char*, int*, int*)> void ReadLoadBMP(const char* path) {
    int width = 0, height = 0;
    unsigned char* pixels = Load(path, &width, &height);
    Use(pixels, width * height);
    delete[] pixels;
}

void ReadStb(const char* path) {
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(path, &width, &height, &channels, 0);
    Use(pixels, width * height);
    stbi_image_free(pixels);
}

struct Reader {
    const char* name;
    const char* option; // of --once
    void (*read)(const char*);
};
const Reader kReaders[] = {
    {"floor (fread whole file)", "floor", ReadFloor},
    {"LoadBMP, -O2 build", "loadbmp-o2", ReadLoadBMP<o2::LoadBMP>},
    {"LoadBMP, -O3 build", "loadbmp-o3", ReadLoadBMP<o3::LoadBMP>},
    {"stbi_load", "stb", ReadStb},
};
constexpr int kReaderCount = sizeof kReaders / sizeof kReaders[0];

// The best time in seconds of one call of each reader over `runs` rounds, the readers taking
// turns within a round so that drifts of the machine touch all of them alike.
void TimeReaders(const std::string& path, int runs, double best[kReaderCount]) {
    std::fill(best, best + kReaderCount, 1e30);
    for (int r = 0; r < runs + 1; ++r) {
        for (int i = 0; i < kReaderCount; ++i) {
            const Clock::time_point start = Clock::now();
            kReaders[i].read(path.c_str());
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (r > 0) { // the first round warms the page cache and the allocator
                best[i] = std::min(best[i], seconds);
            }
        }
    }
}

void Report(const std::string& path, int side, int runs, bool targets) {
    const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    double best[kReaderCount];
    TimeReaders(path, runs, best);
    std::printf("\n%d x %d, 24 bits, %.1f MB file, best of %d runs\n", side, side, mb, runs);
    for (int i = 0; i < kReaderCount; ++i) {
        std::printf("  %-26s %10.3f ms %10.0f MB/s\n", kReaders[i].name, best[i] * 1e3,
                    mb / best[i]);
    }
    const double stb = best[kReaderCount - 1];
    std::printf("  %-8s %18s %22s\n", "build", "LoadBMP / floor", "stbi_load / LoadBMP");
    for (int i = 1; i <= 2; ++i) {
        const double ofFloor = best[i] / best[0];
        const double fasterThanStb = stb / best[i];
        std::printf("  %-8s %17.3fx %21.2fx", i == 1 ? "-O2" : "-O3", ofFloor, fasterThanStb);
        if (targets) {
            std::printf("   targets <= 1.15x: %s, >= 2.2x: %s", ofFloor <= 1.15 ? "met" : "MISSED",
                        fasterThanStb >= 2.2 ? "met" : "MISSED");
        }
        std::printf("\n");
    }
    if (!targets) {
        std::printf("  (timers are too coarse here; bench/bmp_callgrind.sh counts instructions)\n");
    }
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: bmp_bench [DIR] | --write-256 FILE | --once loadbmp-o2|loadbmp-o3|stb FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-256") == 0) {
        return WriteBenchFile(argv[2], 256) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
        const Reader* reader =
            std::find_if(kReaders + 1, kReaders + kReaderCount, [&](const Reader& candidate) {
                return std::strcmp(argv[2], candidate.option) == 0;
            });
        if (reader == kReaders + kReaderCount) {
            return Usage();
        }
        reader->read(argv[3]); // binds the library calls and warms the allocator, uncounted
        CALLGRIND_TOGGLE_COLLECT;
        reader->read(argv[3]);
        CALLGRIND_TOGGLE_COLLECT;
        return 0;
    }
    if (argc > 2) {
        return Usage();
    }
#ifndef NDEBUG
    std::printf("note: this is not an optimised build; use the release preset for real figures\n");
#endif
    const std::filesystem::path dir =
        argc == 2 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::string large = (dir / "tavik_bench_4096.bmp").string();
    const std::string small = (dir / "tavik_bench_256.bmp").string();
    if (!WriteBenchFile(large, 4096) || !WriteBenchFile(small, 256)) {
        std::fprintf(stderr, "bmp_bench: cannot write the files in %s\n", dir.string().c_str());
        return 1;
    }
    Report(large, 4096, 15, true);
    Report(small, 256, 500, false);
    std::remove(large.c_str());
    std::remove(small.c_str());
    return 0;
}
