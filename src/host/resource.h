/* The dialog template's values, defined once for the resource script and the Linux layer. */
#pragma once

#define IDD_MAIN 101
#define IDI_TAVIK 1
#define IDD_MAIN_X 0
#define IDD_MAIN_Y 0
#define IDD_MAIN_WIDTH 310
#define IDD_MAIN_HEIGHT 177
/* WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_FIXEDSYS */
#define IDD_MAIN_STYLE 0x00CC0048
#define IDD_MAIN_CAPTION "Tavik"
#define IDD_MAIN_FONT "MS Shell Dlg"
#define IDD_MAIN_FONT_POINTS 8
