// What only the Windows program under Wine shows: the size the template gets from the system's
// own dialog arithmetic, and the program's icon on its window.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/viewer_fixture.h"
#include "hosts/wine.h"

namespace {

// The executable's icon picture `size` pixels wide, a 32-bit one of its icon group, as an image of
// _NET_WM_ICON (icoutils take it out as a PNG); {0, 0} when there is none.
std::vector<unsigned long> IconOfExecutable(const std::string& path, uint32_t size) {
    std::string png, errors;
    EXPECT_TRUE(RunForOutput({"sh", "-c",
                              "wrestool -x -t 14 \"$0\" >\"$0.ico\" && "
                              "icotool -x -w \"$1\" --bit-depth=32 -o - \"$0.ico\"",
                              path, std::to_string(size)},
                             {}, 10000, &png, &errors))
        << "icoutils cannot read " << path << ": " << errors;
    return IconImage(png);
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
