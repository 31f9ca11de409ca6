// Makes res/grass.bmp, the viewer's grass texture: 256 x 256, 24 bits, blades of grass in
// varied greens with some dry yellow-brown ones over dark undergrowth, seamless when tiled.
// Deterministic: integer arithmetic and a fixed-seed generator, so every run and every machine
// makes the same bytes.
//
//   make_grass FILE           writes the bitmap to FILE
//   make_grass --check FILE   exits 1 unless FILE holds exactly the bitmap this program makes
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "bmp_writer.h"

namespace {

constexpr int SIZE = 256; // a power of two, so that wrapping is a mask
constexpr int BLADES = 2600;

// xorshift32: small, fixed, and the same everywhere.
struct Random {
    uint32_t state = 0x2018A5A5u;

    // The next number from lo to hi inclusive.
    int In(int lo, int hi) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return lo + static_cast<int>(state % static_cast<uint32_t>(hi - lo + 1));
    }
};

struct Colour {
    int r, g, b;
};

struct Blade {
    int x, y;      // root, in pixels
    int length;    // in pixels
    int lean;      // horizontal offset of the tip from the root, in 1/256 pixel
    int width;     // at the root, in 1/256 pixel
    Colour colour; // in the blade's middle, before shading
};

// Blue, green, red pixels, top row first.
using Picture = std::vector<unsigned char>;

void Blend(Picture* picture, int x, int y, Colour c, int coverage) {
    unsigned char* p = picture->data() + ((y & (SIZE - 1)) * SIZE + (x & (SIZE - 1))) * 3;
    const int channel[3] = {c.b, c.g, c.r};
    for (int i = 0; i < 3; ++i) {
        const int value = std::min(255, std::max(0, channel[i]));
        p[i] = static_cast<unsigned char>((p[i] * (256 - coverage) + value * coverage) >> 8);
    }
}

// Smooth value noise on a wrapping grid of `cells` x `cells`, 0 to 255.
int Noise(const std::vector<int>& lattice, int cells, int x, int y) {
    const int cell = SIZE / cells;
    const int cx = x / cell, cy = y / cell;
    const int fx = (x % cell) * 256 / cell, fy = (y % cell) * 256 / cell;
    auto at = [&](int i, int j) { return lattice[(j % cells) * cells + (i % cells)]; };
    const int top = at(cx, cy) * (256 - fx) + at(cx + 1, cy) * fx;
    const int bottom = at(cx, cy + 1) * (256 - fx) + at(cx + 1, cy + 1) * fx;
    return (top * (256 - fy) + bottom * fy) >> 16;
}

// Dark, mottled undergrowth between the blades.
void PaintGround(Picture* picture, Random* random) {
    std::vector<int> coarse(8 * 8), fine(32 * 32);
    for (int& v : coarse) {
        v = random->In(0, 255);
    }
    for (int& v : fine) {
        v = random->In(0, 255);
    }
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const int n = (Noise(coarse, 8, x, y) * 2 + Noise(fine, 32, x, y)) / 3;
            const int speck = random->In(-6, 6);
            const Colour c = {22 + n / 9 + speck, 34 + n / 5 + speck, 10 + n / 18 + speck / 2};
            Blend(picture, x, y, c, 256);
        }
    }
}

Blade MakeBlade(Random* random) {
    Blade blade;
    blade.x = random->In(0, SIZE - 1);
    blade.y = random->In(0, SIZE - 1);
    blade.length = random->In(16, 64);
    blade.lean = random->In(-blade.length * 100, blade.length * 100);
    blade.width = random->In(300, 720);
    const int kind = random->In(0, 99);
    if (kind < 15) {
        // Dry straw: yellow-brown, leaning further.
        const int r = random->In(165, 225);
        blade.colour = {r, r * random->In(76, 92) / 100, r * random->In(30, 48) / 100};
        blade.lean = blade.lean * 3 / 2;
    } else if (kind < 25) {
        // Young blades: light yellowish green.
        const int g = random->In(160, 215);
        blade.colour = {g * random->In(55, 72) / 100, g, g * random->In(15, 30) / 100};
    } else {
        // The bulk: mid to deep greens, some bluish.
        const int g = random->In(85, 175);
        blade.colour = {g * random->In(25, 55) / 100, g, g * random->In(12, 38) / 100};
    }
    return blade;
}

// Draws a blade from its root upwards, bending more towards the tip, narrowing to a point,
// darker at the root and along its edges.
void DrawBlade(Picture* picture, const Blade& blade) {
    for (int step = 0; step <= blade.length; ++step) {
        const int t = step * 256 / blade.length; // 0 at the root, 256 at the tip
        const int y = blade.y - step;
        const int cx = blade.x * 256 + 128 + blade.lean * t / 256 * t / 256;
        const int half = blade.width * (256 - t) / 512 + 40;
        const int shade = 130 + t * 150 / 256; // in 1/256
        for (int x = (cx - half) >> 8; x <= (cx + half) >> 8; ++x) {
            const int distance = std::abs(x * 256 + 128 - cx);
            const int coverage = std::min(256, std::max(0, half - distance + 128));
            if (coverage == 0) {
                continue;
            }
            const int edge = 256 - distance * 90 / std::max(half, 1);
            const int scale = shade * edge / 256;
            const Colour c = {blade.colour.r * scale / 256, blade.colour.g * scale / 256,
                              blade.colour.b * scale / 256};
            Blend(picture, x, y, c, coverage);
        }
    }
}

BmpImage MakeGrass() {
    Random random;
    BmpImage image; // of 24 bits
    image.width = SIZE;
    image.height = SIZE;
    image.pixels.resize(SIZE * SIZE * 3);
    PaintGround(&image.pixels, &random);
    std::vector<Blade> blades;
    for (int i = 0; i < BLADES; ++i) {
        blades.push_back(MakeBlade(&random));
    }
    // Blades rooted lower in the picture stand in front.
    std::stable_sort(blades.begin(), blades.end(),
                     [](const Blade& a, const Blade& b) { return a.y < b.y; });
    for (const Blade& blade : blades) {
        DrawBlade(&image.pixels, blade);
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: make_grass FILE | make_grass --check FILE\n");
        return 2;
    }
    const std::vector<unsigned char> bytes = EncodeBmp(MakeGrass());
    const char* path = argv[argc - 1];
    if (check) {
        std::ifstream file(path, std::ios::binary);
        if (std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {}) != bytes) {
            std::fprintf(stderr, "%s %s; run make_grass %s to make it again\n", path,
                         file.is_open() ? "differs from what make_grass makes" : "cannot be read",
                         path);
            return 1;
        }
        std::printf("%s is what make_grass makes\n", path);
        return 0;
    }
    if (!WriteBytes(path, bytes)) {
        std::fprintf(stderr, "make_grass: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
