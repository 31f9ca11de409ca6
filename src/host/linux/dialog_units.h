// Dialog units to pixels, as the platform converts a dialog template's size and position.
// A dialog unit is a quarter of the dialog font's average character width horizontally and an
// eighth of its height vertically ("base units"). For the template's 8-point "MS Shell Dlg" the
// platform's base units at 96 dpi are 6 x 13 pixels; at other resolutions they scale with the dpi.
#pragma once

struct DialogBaseUnits {
    int x;
    int y;
};

// Base units of an 8-point dialog font at `dpi` dots per inch.
DialogBaseUnits DialogBaseUnitsForDpi(int dpi);
// Horizontal and vertical dialog units to pixels, rounded like the platform's MulDiv.
int DialogUnitsToPixelsX(int units, DialogBaseUnits base);
int DialogUnitsToPixelsY(int units, DialogBaseUnits base);
// The "Xft.dpi" value of an X resource string, or 96 when absent, malformed or out of range.
int ParseXftDpi(const char* resources);
