// Writes the seed corpus for the BMP fuzzer: one small file of each layout the reader accepts.
//   make_seeds DIRECTORY
#include <cstdio>
#include <string>
#include <vector>

#include "bmp_writer.h"

namespace {

BmpImage Pattern(int32_t width, int32_t height, uint16_t bits) {
    BmpImage image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    const int rows = height < 0 ? -height : height;
    for (int i = 0; i < width * rows * (bits / 8); ++i) {
        image.pixels.push_back(static_cast<unsigned char>(i * 29 + 3));
    }
    return image;
}

std::vector<unsigned char> Table(int entries) {
    std::vector<unsigned char> table;
    for (int i = 0; i < entries * 4; ++i) {
        table.push_back(static_cast<unsigned char>(i * 7));
    }
    return table;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<BmpImage> seeds;
    for (uint16_t bits : {8, 24, 32}) {
        for (int32_t height : {3, -3}) {
            BmpImage image = Pattern(5, height, bits);
            if (bits == 8) {
                image.colourTable = Table(256);
            }
            seeds.push_back(image);
        }
    }
    BmpImage small8 = Pattern(3, 2, 8);
    small8.colourTable = Table(4);
    small8.clrUsed = 4;
    seeds.push_back(small8);
    BmpImage v5 = Pattern(4, 2, 8);
    v5.infoSize = 124;
    v5.colourTable = Table(16);
    v5.clrUsed = 16;
    seeds.push_back(v5);
    for (uint32_t infoSize : {40u, 56u, 108u}) {
        BmpImage bitfields = Pattern(3, 2, 32);
        bitfields.infoSize = infoSize;
        bitfields.compression = 3;
        bitfields.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
        seeds.push_back(bitfields);
    }
    int n = 0;
    for (const BmpImage& seed : seeds) {
        const std::string path = dir + "/seed" + std::to_string(n++) + ".bmp";
        if (!WriteBytes(path, EncodeBmp(seed))) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("make_seeds: %d seeds in %s\n", n, dir.c_str());
    return 0;
}
