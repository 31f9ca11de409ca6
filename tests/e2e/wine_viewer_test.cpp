// What only the Windows program under Wine shows: the size the template gets from the system's
// own dialog arithmetic, and the program's icon on its window.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/viewer_fixture.h"
#include "hosts/wine.h"
#include "pe_resources.h"

namespace {

// The executable's icon picture `size` pixels wide as _NET_WM_ICON holds one (width, height, then
// ARGB pixels from the top row): an icon resource that is a 32-bit bitmap of that size (after its
// BITMAPINFOHEADER, twice the height for the mask, rows from the bottom). Empty when none is.
std::vector<unsigned long> IconOfExecutable(const std::string& path, uint32_t size) {
    std::vector<Resource> resources;
    EXPECT_TRUE(ReadResources(path, &resources)) << "wrestool cannot read " << path;
    for (const Resource& icon : resources) {
        auto le = [&](std::size_t at) {
            const uint8_t* p = at + 4 <= icon.data.size() ? &icon.data[at] : nullptr;
            return p ? uint32_t{p[0]} | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24 : 0u;
        };
        if (icon.type != "3" || le(0) != 40 || le(4) != size || le(8) != 2 * size ||
            le(12) >> 16 != 32 || icon.data.size() < 40 + 4 * size * size) {
            continue;
        }
        std::vector<unsigned long> picture = {size, size};
        for (uint32_t y = size; y-- > 0;) {
            for (uint32_t x = 0; x < size; ++x) {
                picture.push_back(le(40 + 4 * (y * size + x)));
            }
        }
        return picture;
    }
    return {};
}

class WineViewer : public ViewerRig {
  protected:
    WineViewer() : ViewerRig(kWineHost) {}
};

TEST_F(WineViewer, OpensAtTopLeftWithTheSizeTheTemplateGivesOnThisSystem) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    // The template's font, size (in dialog units) and style, run to its end; it prints on stderr.
    std::string output;
    EXPECT_TRUE(RunUnderWine(TAVIK_DIALOG_METRICS_EXE,
                             {"MS Shell Dlg", "8", "310", "177", "CC0048"}, desktop_->XDisplay(),
                             60000, &output))
        << "dialog_metrics.exe under Wine: " << output;
    // Where the client area of a window made from the template lands on this system.
    ClientArea expected = {-1, -1, -1, -1};
    int base[2];
    std::size_t at = output.find("dialog-metrics:");
    EXPECT_TRUE(at != std::string::npos &&
                std::sscanf(output.c_str() + at, "dialog-metrics: base %d %d client %d %d %d %d",
                            &base[0], &base[1], &expected.x, &expected.y, &expected.width,
                            &expected.height) == 6)
        << "no metrics in: " << output;
    ASSERT_NO_FATAL_FAILURE(Start());
    ClientArea area = {};
    ASSERT_TRUE(Geometry(window_, &area));
    // Without a window manager nobody draws the frame, so X shows the client area, which the
    // frame's widths place inside the window's top-left corner at (0, 0).
    EXPECT_EQ(area.x, expected.x);
    EXPECT_EQ(area.y, expected.y);
    EXPECT_EQ(area.width, expected.width);
    EXPECT_EQ(area.height, expected.height);
    EXPECT_EQ(probe_->TextProperty(window_, "WM_NAME"), "Tavik");
    // Wine's X11 driver shows a window's icons (WM_SETICON) as _NET_WM_ICON: the big one at the
    // system's 32 pixels and the small one at its 16 are the executable's pictures of those sizes.
    std::vector<std::vector<unsigned long>> shown =
        IconImages(probe_->LongProperty(window_, "_NET_WM_ICON"));
    for (uint32_t size : {32u, 16u}) {
        std::vector<unsigned long> expected = IconOfExecutable(root_ + "/bin/tavik.exe", size);
        ASSERT_EQ(expected.size(), 2u + size * size) << "no 32-bit " << size << " px picture";
        auto picture = std::find_if(shown.begin(), shown.end(), [&](const auto& image) {
            return image.size() > 2 && image[0] == size && image[1] == size;
        });
        EXPECT_TRUE(picture != shown.end() && *picture == expected)
            << "the window's _NET_WM_ICON has " << (picture == shown.end() ? "no" : "another")
            << " " << size << " x " << size << " picture";
    }
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

} // namespace
