// What only the Windows program under Wine shows: the size the template gets from the system's
// own dialog arithmetic.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/viewer_fixture.h"
#include "hosts/wine.h"

namespace {

// Where the client area of a window made from the template lands, as dialog_metrics.exe works
// it out on the system it runs on.
struct ClientRect {
    int x = -1, y = -1, width = -1, height = -1;
};

ClientRect ParseClientRect(const std::string& metricsOutput) {
    ClientRect rect;
    size_t at = metricsOutput.find("dialog-metrics:");
    int baseX, baseY;
    if (at == std::string::npos ||
        std::sscanf(metricsOutput.c_str() + at, "dialog-metrics: base %d %d client %d %d %d %d",
                    &baseX, &baseY, &rect.x, &rect.y, &rect.width, &rect.height) != 6) {
        ADD_FAILURE() << "no metrics in: " << metricsOutput;
    }
    return rect;
}

class WineViewer : public ViewerRig {
  protected:
    WineViewer() : ViewerRig(kWineHost) {}

    // Runs a Windows console program under Wine to its end and returns its standard error.
    std::string RunToEnd(const std::string& program, const std::vector<std::string>& arguments) {
        ChildProcess child;
        if (!StartUnderWine(program, arguments, root_, desktop_->XDisplay(), &child)) {
            ADD_FAILURE() << "could not start " << program << " under Wine";
            return "";
        }
        int code = -1;
        if (!WaitProcess(&child, 60000, &code)) {
            KillProcess(&child);
            ADD_FAILURE() << program << " did not end under Wine";
        } else {
            EXPECT_EQ(code, 0) << program;
        }
        std::string output = ReadStderr(child);
        unlink(child.stderrPath.c_str());
        return output;
    }
};

TEST_F(WineViewer, OpensAtTopLeftWithTheSizeTheTemplateGivesOnThisSystem) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    // The template's font, size (in dialog units) and style.
    ClientRect expected = ParseClientRect(
        RunToEnd(TAVIK_DIALOG_METRICS_EXE, {"MS Shell Dlg", "8", "310", "177", "CC0048"}));
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    ClientArea area = {};
    ASSERT_TRUE(Geometry(window, &area));
    // Without a window manager nobody draws the frame, so X shows the client area, which the
    // frame's widths place inside the window's top-left corner at (0, 0).
    EXPECT_EQ(area.x, expected.x);
    EXPECT_EQ(area.y, expected.y);
    EXPECT_EQ(area.width, expected.width);
    EXPECT_EQ(area.height, expected.height);
    EXPECT_EQ(probe_->TextProperty(window, "WM_NAME"), "Tavik");
    CloseAndExpectEndsWithZero(viewer, window, "close");
}

} // namespace
