#include "support/viewer_fixture.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

void PrintTo(const ViewerHost* host, std::ostream* out) {
    *out << host->name;
}

std::vector<std::vector<unsigned long>> IconImages(std::vector<unsigned long> property) {
    for (unsigned long& item : property) {
        item &= 0xFFFFFFFFul;
    }
    std::vector<std::vector<unsigned long>> images;
    for (std::size_t at = 0; at < property.size();) {
        std::size_t size = at + 1 < property.size() ? property[at] * property[at + 1] : 0;
        if (size == 0 || property.size() - at - 2 < size) {
            images.emplace_back();
            break;
        }
        images.emplace_back(property.begin() + at, property.begin() + at + 2 + size);
        at += 2 + size;
    }
    return images;
}

std::vector<unsigned long> IconImage(const std::string& png) {
    std::vector<unsigned char> alpha;
    RgbImage image = DecodeRgb(png, &alpha);
    std::vector<unsigned long> argb = {static_cast<unsigned long>(image.width),
                                       static_cast<unsigned long>(image.height)};
    for (std::size_t i = 0; i < alpha.size(); ++i) {
        const unsigned char* rgb = &image.pixels[3 * i];
        argb.push_back(static_cast<unsigned long>(alpha[i]) << 24 | rgb[0] << 16 | rgb[1] << 8 |
                       rgb[2]);
    }
    return argb;
}

ViewerRig::ViewerRig(const ViewerHost& host, std::unique_ptr<Desktop> desktop)
    : host_(host), limits_(*host.launcher), desktop_(std::move(desktop)) {}

void ViewerRig::StartServer(const ViewerOptions& options) {
    options_ = options;
    std::string error;
    ASSERT_TRUE(desktop_->Start(&error)) << error;
    probe_ = desktop_->Probe();
    ASSERT_TRUE(MakeViewerRoot(host_, *desktop_, options.withTexture, &root_, &error)) << error;
}

void ViewerRig::TearDown() {
    viewers_.clear();
    host_.launcher->Stop();
    probe_ = nullptr;
    desktop_.reset();
    if (!root_.empty()) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
}

ChildProcess* ViewerRig::StartViewer() {
    viewers_.push_back(std::make_unique<ChildProcess>());
    EXPECT_TRUE(StartViewerOn(host_, *desktop_, root_, options_, viewers_.back().get()))
        << "cannot start the viewer";
    return viewers_.back().get();
}

void ViewerRig::Start(const ViewerOptions& options) {
    if (root_.empty()) {
        ASSERT_NO_FATAL_FAILURE(StartServer(options));
    }
    viewer_ = StartViewer();
    window_ = WaitForNewWindow({}, limits_.startMs);
    ASSERT_NE(window_, 0u) << "no window captioned Tavik; the viewer said: "
                           << ReadStderr(*viewer_);
}

void ViewerRig::Preload(const std::string& library) {
    std::string copy = root_ + "/bin/" + fs::path(library).filename().string();
    std::error_code error;
    ASSERT_TRUE(fs::copy_file(library, copy, error)) << copy << ": " << error.message();
    ASSERT_TRUE(desktop_->GiveToProgramUser(root_));
    for (const auto& variable : PreloadSettings(copy)) {
        options_.viewerEnvironment.push_back(variable);
    }
}

void ViewerRig::CloseAndExpectEndsWithZero(ChildProcess* viewer, Window window,
                                           const std::string& when, bool silently) {
    // The close latency: from the request (a tool started to send it) and from its delivery (the
    // tool has ended) to the viewer's end.
    auto asked = std::chrono::steady_clock::now();
    Close(window);
    auto sent = std::chrono::steady_clock::now();
    ExpectEndsWithZeroSilently(viewer, limits_.exitMs, when, silently);
    if (!IsRunning(*viewer)) {
        std::printf("%s: ended %.0f ms after the close request, %.0f ms after its delivery\n",
                    when.c_str(), MsSince(asked), MsSince(sent));
    }
}

void ViewerRig::ExpectDone(bool done, Window window, const char* what) {
    if (!done && desktop_->Exists(window)) {
        ADD_FAILURE() << host_.name << " did not " << what;
    }
}

void ViewerRig::PlaceOnWholePixels(Window window) {
    auto whole = [this](int logical) {
        double pixels = logical * desktop_->Scale();
        return std::abs(pixels - std::round(pixels)) < 1e-6;
    };
    if (whole(1)) {
        return;
    }
    desktop_->RemoveFrame(window);
    // The client area's offset in the frame, with the frame in the corner.
    ClientArea offset = {};
    Move(window, 0, 0);
    ASSERT_TRUE(Geometry(window, &offset));
    int x = 64, y = 64;
    while (!whole(x + offset.x)) {
        ++x;
    }
    while (!whole(y + offset.y)) {
        ++y;
    }
    Move(window, x, y);
}

FrameWatcher ViewerRig::WatchFrames(Window window, int width, int height) {
    Patch patch = BoxPatch(width, height);
    return FrameWatcher([this, window, patch] { return desktop_->GrabArea(window, patch); },
                        desktop_->PollMs());
}

std::string ViewerRig::WaitForPictureToFit(Window window, int width, int height) {
    auto asked = std::chrono::steady_clock::now();
    std::string misfit;
    int askedAgain = 0;
    WaitUntil(
        [&] {
            misfit = PictureMisfit(Grab(window), ToPixels(width), ToPixels(height));
            // NOTE: mutter 43 can lose a resize asked for while the window's previous configure
            // is in flight (the last size of a storm): no configure for it reaches the client,
            // and the same request asked again may get another size. Each second the window has
            // not got the size, ask again by way of a size one pixel wider, which mutter takes.
            if (!misfit.empty() && desktop_->LosesResizes() &&
                std::chrono::steady_clock::now() - asked > std::chrono::seconds(1)) {
                ++askedAgain;
                Resize(window, width + 1, height);
                ClientArea area = {};
                WaitUntil([&] { return desktop_->Geometry(window, &area) && area.width > width; },
                          1000);
                Resize(window, width, height);
                asked = std::chrono::steady_clock::now();
            }
            return misfit.empty();
        },
        limits_.fitMs, std::max(50, desktop_->PollMs()));
    if (askedAgain > 0) {
        std::printf("%d x %d: not configured by the compositor after a second; asked again %d "
                    "time(s)\n",
                    width, height, askedAgain);
        RecordProperty("resizes_asked_again", askedAgain);
    }
    return misfit;
}

RgbImage ViewerRig::WaitForPicture(Window window) {
    RgbImage picture;
    EXPECT_TRUE(WaitUntil(
        [&] {
            picture = Grab(window);
            return picture.width > 0 && PictureMisfit(picture, picture.width, picture.height) == "";
        },
        limits_.fitMs, std::max(50, desktop_->PollMs())))
        << "no picture of the scene: "
        << (picture.width > 0 ? PictureMisfit(picture, picture.width, picture.height) : "no grab");
    return picture;
}

bool ViewerRig::WaitForNewPicture(Window window, const RgbImage& before) {
    return WaitUntil([&] { return CountDifferingPixels(before, Grab(window)) > 50; }, limits_.fitMs,
                     std::max(50, desktop_->PollMs()));
}

void ViewerRig::ExpectEndsWithZeroSilently(ChildProcess* viewer, int timeoutMs,
                                           const std::string& when, bool silently) {
    int code = -1;
    EXPECT_TRUE(WaitProcess(viewer, timeoutMs, &code))
        << when << ": still running " << timeoutMs << " ms after the close";
    EXPECT_EQ(code, 0) << when << ": " << ReadStderr(*viewer);
    if (silently) {
        EXPECT_EQ(ReadStderr(*viewer), "") << when;
    }
}

int ViewerRig::ExpectPromptEndWith(ChildProcess* viewer, double cpuBefore,
                                   const std::string& message) {
    auto serverGone = std::chrono::steady_clock::now();
    int code = -1;
    double cpuTotal = 0;
    if (!WaitProcess(viewer, limits_.exitMs, &code, &cpuTotal)) {
        ADD_FAILURE() << "still running " << limits_.exitMs << " ms after the server ended, "
                      << "having used " << ProcessCpuSeconds(*viewer) - cpuBefore
                      << " s of CPU since";
        return -1;
    }
    std::printf("ended %.0f ms after the server, with code %d, %.3f s of CPU since\n",
                MsSince(serverGone), code, cpuTotal - cpuBefore);
    EXPECT_NE(code, 0);
    EXPECT_LT(code, 128) << "ended by signal " << code - 128;
    EXPECT_NE(ReadStderr(*viewer).find(message), std::string::npos)
        << "it said: " << ReadStderr(*viewer);
    EXPECT_LT(cpuTotal - cpuBefore, 0.5) << "busy after the server ended";
    return code;
}

int ViewerRig::EndServerAndExpectPromptEnd(ChildProcess* viewer, int signal,
                                           const std::string& message) {
    EXPECT_TRUE(IsRunning(*viewer)) << ReadStderr(*viewer);
    double cpuBefore = ProcessCpuSeconds(*viewer);
    desktop_->EndServer(signal);
    return ExpectPromptEndWith(viewer, cpuBefore, message);
}

int ViewerRig::ToPixels(int logical) const {
    return static_cast<int>(std::lround(logical * desktop_->Scale()));
}

bool FrameWatcher::Changed() {
    RgbImage patch = grabPatch_();
    if (patch.pixels.empty()) {
        return false;
    }
    bool changed = !last_.empty() && patch.pixels != last_;
    last_.swap(patch.pixels);
    return changed;
}

bool FrameWatcher::WaitForFrame(int timeoutMs) {
    Changed();
    return WaitUntil([this] { return Changed(); }, timeoutMs, pollMs_);
}
