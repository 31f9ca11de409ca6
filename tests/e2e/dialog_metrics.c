/* A small Windows console program run under Wine by the tests: for a dialog template's font and
   size it works out the client rectangle that a dialog created at (0, 0) gets on this system, the
   way the dialog manager does (base units from the font's average character width and height,
   the frame that the style adds, the window kept on the screen), and prints it on stderr.
   Usage: dialog_metrics FACE POINTS WIDTH HEIGHT STYLE   (sizes in dialog units, style in hex) */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    if (argc != 6) {
        fprintf(stderr, "usage: dialog_metrics FACE POINTS WIDTH HEIGHT STYLE\n");
        return 2;
    }
    int points = atoi(argv[2]);
    int widthUnits = atoi(argv[3]);
    int heightUnits = atoi(argv[4]);
    DWORD style = (DWORD)strtoul(argv[5], NULL, 16);

    HDC dc = GetDC(NULL);
    LOGFONTA lf;
    memset(&lf, 0, sizeof lf);
    lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = PROOF_QUALITY;
    strncpy(lf.lfFaceName, argv[1], LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA tm;
    SIZE extent;
    GetTextMetricsA(dc, &tm);
    GetTextExtentPoint32A(dc, alphabet, (int)strlen(alphabet), &extent);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(NULL, dc);

    /* Base units: half the rounded-up average of the 52 letters' widths, and the font height. */
    int baseX = (extent.cx / 26 + 1) / 2;
    int baseY = tm.tmHeight;
    RECT rect = {0, 0, MulDiv(widthUnits, baseX, 4), MulDiv(heightUnits, baseY, 8)};
    int clientWidth = rect.right;
    int clientHeight = rect.bottom;
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    /* The window's top-left corner goes to (0, 0), so the client area starts at the frame's
       left and top widths. */
    fprintf(stderr, "dialog-metrics: base %d %d client %ld %ld %d %d\n", baseX, baseY, -rect.left,
            -rect.top, clientWidth, clientHeight);
    return 0;
}
