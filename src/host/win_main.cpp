// The program's entry point: creates the dialog window, starts the animation timer and runs the
// message loop until the quit message arrives.
#include "host/dlg_proc.h"
#include "host/resource.h"
#include "scene/scene_state.h"

namespace {
constexpr UINT kTimerIntervalMs = 40;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    HWND hwnd = CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DlgProc, 0);
    ShowWindow(hwnd, SW_SHOW);
    SetTimer(hwnd, ID_TIMER, kTimerIntervalMs, nullptr);
    MSG uMsg = {};
    BOOL result;
    while ((result = GetMessageW(&uMsg, nullptr, 0, 0)) != 0) {
        // -1 means the queue itself failed; nothing more can arrive, so end rather than spin.
        if (result == -1) {
            return 1;
        }
        TranslateMessage(&uMsg);
        DispatchMessageW(&uMsg);
    }
    return static_cast<int>(uMsg.wParam);
}
