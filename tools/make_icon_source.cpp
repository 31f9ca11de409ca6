// Turns PNG renderings of the icon into a C++ source holding them as _NET_WM_ICON data: for each
// image its width and height, then its pixels row by row as non-premultiplied ARGB, one per
// element (Xlib takes 32-bit property data as longs).
// Usage: make_icon_source OUT.cpp NAME PNG...
#include <png.h>

#include <cstdio>
#include <fstream>
#include <vector>

namespace {

bool AppendImage(const char* path, std::vector<unsigned long>* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path) == 0) {
        std::fprintf(stderr, "make_icon_source: %s: %s\n", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        std::fprintf(stderr, "make_icon_source: %s: %s\n", path, image.message);
        return false;
    }
    out->push_back(image.width);
    out->push_back(image.height);
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        out->push_back(static_cast<unsigned long>(rgba[i + 3]) << 24 |
                       static_cast<unsigned long>(rgba[i]) << 16 |
                       static_cast<unsigned long>(rgba[i + 1]) << 8 | rgba[i + 2]);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_icon_source OUT.cpp NAME PNG...\n");
        return 2;
    }
    std::vector<unsigned long> data;
    for (int i = 3; i < argc; ++i) {
        if (!AppendImage(argv[i], &data)) {
            return 1;
        }
    }
    std::ofstream out(argv[1]);
    out << "// Made by tools/make_icon_source from the icon's PNG sizes.\n#include <cstddef>\n"
        << "extern const unsigned long " << argv[2] << "[] = {";
    for (std::size_t i = 0; i < data.size(); ++i) {
        out << (i % 8 == 0 ? "\n    " : " ") << "0x" << std::hex << data[i] << std::dec << "ul,";
    }
    out << "\n};\nextern const std::size_t " << argv[2] << "Length = " << data.size() << ";\n";
    return out.good() ? 0 : 1;
}
