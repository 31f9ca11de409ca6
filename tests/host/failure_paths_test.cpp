// The Linux layer's failure paths end in a defined result: the call fails and the program
// carries on, or the message loop ends with -1. Never an X error from Xlib's own handler (which
// ends the process), a hang or a crash. Failures are injected through x11_seams.h.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "gl_window.h"
#include "host/dlg_proc.h"
#include "host/resource.h"
#include "scene/scene_state.h"
#include "host/linux/message_box.h"
#include "x11_probe.h"
#include "x11_seams.h"

namespace {

int boxes = 0;

int CountBox(LPCWSTR, LPCWSTR caption, UINT) {
    boxes += std::wstring(caption) == L"Error Glew";
    return IDOK;
}

class FailurePaths : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(MissingDisplay(), "");
        // A hang fails the test instead of blocking it.
        alarm(20);
    }
    void TearDown() override {
        windowsBeforeFailure = colormapsBeforeFailure = -1;
        fontsMissing = false;
        focusNotViewable = false;
        alarm(0);
    }
    // The viewer's start-up with the given failure in SetPixelFormat: it carries on without a
    // context, says "Error Glew", and its window shows and closes as usual.
    void ExpectStartUpCarriesOn() {
        boxes = 0;
        SetMessageBoxHookLinux(CountBox);
        HWND hwnd = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DlgProc, 0);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
        EXPECT_EQ(boxes, 1);
        ShowWindow(hwnd, SW_SHOW);
        SetTimer(hwnd, ID_TIMER, 40, nullptr);
        MSG msg;
        ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
        DispatchMessageW(&msg);
        EXPECT_EQ(DlgProc(hwnd, WM_CLOSE, 0, 0), TRUE);
        EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    }
};

TEST_F(FailurePaths, WindowNotRecreatedForThePixelFormatKeepsTheFirstOne) {
    windowsBeforeFailure = 1;
    ExpectStartUpCarriesOn();
}

TEST_F(FailurePaths, ColormapNotCreatedForThePixelFormatIsNotFreed) {
    colormapsBeforeFailure = 1;
    ExpectStartUpCarriesOn();
}

TEST_F(FailurePaths, NoWindowEndsTheLoopWithMinusOneInsteadOfWaiting) {
    windowsBeforeFailure = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("X11: cannot create the window"),
              std::string::npos);
}

// Also the text's way out for characters beyond U+FFFF: a UTF-16 surrogate pair, the same
// character as one wide character, and a lone surrogate.
TEST_F(FailurePaths, MessageBoxWithoutFontsFailsAndWritesTheTextAsUtf8ToStderr) {
    fontsMissing = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, L"GL \xD83D\xDE00 \U0001F600 \xDC00", L"Error Glew", MB_OK), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Error Glew: GL \xF0\x9F\x98\x80 \xF0\x9F\x98\x80 \xEF\xBF\xBD\n"),
              std::string::npos);
}

// The box's focus refused by the server: the box still shows and is dismissed as usual, instead
// of Xlib's own handler (the one in force, as in the program) ending the process on the error.
TEST_F(FailurePaths, MessageBoxWhoseFocusTheServerRefusesStillShowsAndCloses) {
    focusNotViewable = true;
    XSetErrorHandler(nullptr);
    // The person who closes it: a process of its own, whose probe ignores its own X errors.
    pid_t user = fork();
    if (user == 0) {
        X11Probe probe(std::getenv("DISPLAY"));
        Window box = probe.WaitForWindow("Error Glew", 10000);
        if (box != 0) {
            probe.SendClose(box);
            // NOTE: a round trip before _exit, which skips XCloseDisplay's: the X server drops
            // the unread requests of a client whose socket has hung up, so a close that was only
            // flushed is lost whenever the server reads it after this process has ended.
            XSync(probe.display(), False);
        }
        _exit(box != 0 ? 0 : 1);
    }
    EXPECT_EQ(MessageBoxW(nullptr, L"GLEW failed", L"Error Glew", MB_OK), IDOK);
    int status = -1;
    waitpid(user, &status, 0);
    EXPECT_EQ(status, 0);
}

} // namespace
