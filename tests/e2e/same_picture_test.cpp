// The same picture on the host of the test program (the Windows program under Wine, the native
// one on Wayland, at the output's scale, the arm64 program under emulation) as from the native
// program on X11, at the same client size in pixels and the same angle. On a scaled output a
// client that drew at another size, left for the compositor to scale, would show a blurred
// picture and fail.
#include <algorithm>
#include <cstdio>

#include "support/viewer_fixture.h"

namespace {

using SamePicture = ViewerTest;

// Both programs draw frame n at n degrees. The host's frame is held still in a grab; the native
// program on X11, at the same client size in pixels, turns through every angle once in 14.4
// seconds and is grabbed far more often than it draws, so one of its frames shows the same angle.
// The logical size is a whole number of pixels at every scale of the hosts.
TEST_P(SamePicture, AsTheNativeProgramOnX11AtTheSameSizeAndAngle) {
    constexpr int kLogicalWidth = 400, kLogicalHeight = 300;
    const int kWidth = ToPixels(kLogicalWidth), kHeight = ToPixels(kLogicalHeight);
    ASSERT_NO_FATAL_FAILURE(Start());

    // The native program on a display of its own, ended however the test ends (before its display).
    XvfbServer nativeServer;
    ChildProcess nativeViewer;
    std::string error;
    ASSERT_TRUE(StartXvfb(&nativeServer, {}, &error)) << error;
    X11Probe nativeProbe(nativeServer.display);
    // With the emulated program's variables, the native program draws with the same renderer:
    // softpipe and llvmpipe put the Y axis, a one-pixel line on the pixel boundary at the centre,
    // in neighbouring columns.
    LaunchSettings nativeSettings = X11Settings(nativeServer.display);
    nativeSettings.environment.insert(nativeSettings.environment.end(), limits_.environment.begin(),
                                      limits_.environment.end());
    ASSERT_TRUE(StartProcessWith({NativeBinary()}, root_ + "/bin", nativeSettings, &nativeViewer));
    Window nativeWindow = nativeProbe.WaitForWindow("Tavik", 10000);
    ASSERT_NE(nativeWindow, 0u) << ReadStderr(nativeViewer);

    PlaceOnWholePixels(window_);
    Resize(window_, kLogicalWidth, kLogicalHeight);
    ASSERT_EQ(WaitForPictureToFit(window_, kLogicalWidth, kLogicalHeight), "");
    ASSERT_TRUE(nativeProbe.Resize(nativeWindow, kWidth, kHeight));
    ASSERT_TRUE(WaitUntil(
        [&] { return PictureMisfit(nativeProbe.Grab(nativeWindow), kWidth, kHeight).empty(); },
        limits_.fitMs))
        << "the native picture does not fit " << kWidth << " x " << kHeight;

    // A whole frame: where a grab might catch one being drawn, two grabs in a row agree.
    RgbImage windows = Grab(window_);
    int pairs = 0, differing = desktop_->GrabsWholeFrames() ? 0 : -1;
    while (differing != 0 && pairs++ < 50) {
        windows = Grab(window_);
        differing = CountDifferingPixels(windows, Grab(window_));
    }
    ASSERT_EQ(differing, 0) << "no two grabs in a row agreed in " << pairs - 1
                            << " pairs; the last differed in " << differing << " pixels";
    ASSERT_EQ(windows.width, kWidth);
    ASSERT_EQ(windows.height, kHeight);
    ASSERT_GT(BoxPatchShare(windows, IsGreenDominant), 0.6);

    // Channels may differ by a few levels (rounding), and a few pixels more where the axes pass
    // into the box (depth precision); a turn of one degree moves thousands.
    constexpr int kChannelTolerance = 8;
    const int kPixelTolerance = kWidth * kHeight / 500;
    int best = kWidth * kHeight, grabs = 0;
    WaitUntil(
        [&] {
            ++grabs;
            int differing =
                CountDifferingPixels(windows, nativeProbe.Grab(nativeWindow), kChannelTolerance);
            best = differing >= 0 ? std::min(best, differing) : best;
            return best <= kPixelTolerance;
        },
        45000, 0);
    std::printf("closest native frame: %d of %d pixels differ (%d grabs)\n", best, kWidth * kHeight,
                grabs);
    EXPECT_LE(best, kPixelTolerance);

    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(SamePicture);

} // namespace
