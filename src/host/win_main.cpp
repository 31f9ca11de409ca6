// The program's entry point: creates the dialog window, gives it the program's icon, starts the
// animation timer and runs the message loop until the quit message arrives.
#include "host/dlg_proc.h"
#include "host/resource.h"
#include "scene/scene_state.h"

namespace {

constexpr UINT kTimerIntervalMs = 40;

// The program's icon at the size the system asks for with the two metrics. Shared, so that it
// lives as long as the process and is never destroyed while the window shows it.
LPARAM LoadProgramIcon(HINSTANCE hInstance, int cxMetric, int cyMetric) {
    return reinterpret_cast<LPARAM>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_TAVIK), IMAGE_ICON,
                                               GetSystemMetrics(cxMetric),
                                               GetSystemMetrics(cyMetric), LR_SHARED));
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    HWND hwnd = CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DlgProc, 0);
    // The predefined dialog class has no icon: the title bar, the taskbar and Alt+Tab show the
    // program's own only once the window is given it, big and small.
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, LoadProgramIcon(hInstance, SM_CXICON, SM_CYICON));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                 LoadProgramIcon(hInstance, SM_CXSMICON, SM_CYSMICON));
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
