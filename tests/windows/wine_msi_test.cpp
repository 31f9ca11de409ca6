// The MSI installer under Wine, from a fresh prefix on a private Xvfb, as a Windows user takes
// it: msiexec /i installs it per machine, the installed program started in its bin folder (the
// shortcut's working directory) shows the grass box and ends with 0 when closed, and msiexec /x
// removes every file that the installation added.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

#include "support/viewer_fixture.h"
#include "hosts/wine.h"

namespace fs = std::filesystem;

namespace {

// Every file under `dir`, relative to it.
std::set<std::string> Files(const fs::path& dir) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            paths.insert(fs::relative(entry.path(), dir).string());
        }
    }
    return paths;
}

// Whether a shell link holds `text` as a whole UTF-16 string (the working directory is one).
bool LinkHoldsString(const fs::path& link, const std::string& text) {
    const std::string data = ReadFile(link.string());
    std::string utf16;
    for (char c : text) {
        utf16 += {c, '\0'};
    }
    return data.find(utf16 + std::string(2, '\0')) != std::string::npos;
}

class WineMsi : public ViewerRig {
  protected:
    WineMsi() : ViewerRig(kWineHost) {}

    // Runs msiexec with `action` (/i or /x) on the MSI, without any user interface, and waits
    // until the prefix's server and what the installation started have ended, as a finished
    // installation has on Windows: the program then starts on a prefix at rest.
    void Msiexec(const char* action) {
        std::string msi = TAVIK_WINDOWS_MSI, output;
        std::replace(msi.begin(), msi.end(), '/', '\\');
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(RunWineTool({TAVIK_WINE, "msiexec", action, "Z:" + msi, "/qn"},
                                desktop_->XDisplay(), 120000, &output))
            << "msiexec " << action << " failed: " << output;
        EXPECT_TRUE(WaitForWineServerEnd(desktop_->XDisplay(), &output))
            << "the prefix's server did not end after msiexec " << action << ": " << output;
        std::printf("msiexec %s: %.0f ms to its end and the server's\n", action, MsSince(start));
    }
};

TEST_F(WineMsi, InstallsRunsFromBinAndUninstallsWithoutATrace) {
    // A prefix of its own, made afresh: a machine that never had Tavik.
    std::error_code ignored;
    fs::remove_all(TAVIK_MSI_WINE_PREFIX, ignored);
    UseWinePrefix(TAVIK_MSI_WINE_PREFIX);
    ASSERT_NO_FATAL_FAILURE(StartServer());
    const fs::path drive = fs::path(TAVIK_MSI_WINE_PREFIX) / "drive_c";
    const fs::path installed = drive / "Program Files" / "Tavik";
    std::set<std::string> before = Files(drive);

    Msiexec("/i");
    for (const char* file : {"bin/tavik.exe", "res/grass.bmp", "LICENSE.txt"}) {
        EXPECT_TRUE(fs::is_regular_file(installed / file)) << file << " was not installed";
    }
    // NOTE: Windows puts the shortcuts of a per-machine installation into the common Start menu;
    // Wine's installer takes the user's whatever ALLUSERS says, so either is accepted.
    fs::path shortcut;
    for (const std::string& file : Files(drive)) {
        if (file.find("Start Menu/Programs/Tavik.lnk") != std::string::npos) {
            shortcut = drive / file;
        }
    }
    ASSERT_FALSE(shortcut.empty()) << "no Start-menu shortcut";
    EXPECT_TRUE(LinkHoldsString(shortcut, "C:\\Program Files\\Tavik\\bin\\"))
        << "the shortcut does not start the program in its bin folder";

    viewers_.push_back(std::make_unique<ChildProcess>());
    ChildProcess* viewer = viewers_.back().get();
    ASSERT_TRUE(StartUnderWine((installed / "bin" / "tavik.exe").string(), {},
                               (installed / "bin").string(), desktop_->XDisplay(), viewer));
    auto started = std::chrono::steady_clock::now();
    Window window = WaitForNewWindow({}, limits_.startMs);
    ASSERT_NE(window, 0u) << "no window captioned Tavik in " << limits_.startMs << " ms; the "
                          << "program " << (IsRunning(*viewer) ? "still runs" : "has ended")
                          << "; it said: " << ReadStderr(*viewer);
    std::printf("the installed program: its window shown %.0f ms after its start\n",
                MsSince(started));
    RgbImage picture = WaitForPicture(window);
    EXPECT_EQ(PictureMisfit(picture, picture.width, picture.height), "");
    CloseAndExpectEndsWithZero(viewer, window, "the installed program");

    Msiexec("/x");
    EXPECT_FALSE(fs::exists(installed)) << "Program Files\\Tavik is left";
    EXPECT_FALSE(fs::exists(shortcut)) << "the shortcut is left";
    for (const std::string& path : Files(drive)) {
        EXPECT_TRUE(before.count(path)) << "left after uninstalling: C:\\" << path;
    }
}

} // namespace
