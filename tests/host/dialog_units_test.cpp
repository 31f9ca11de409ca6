// Dialog units to pixels and the display resolution read from the X resources.
#include <gtest/gtest.h>

#include "host/resource.h"
#include "host/linux/dialog_units.h"

namespace {

TEST(DialogUnits, TemplateIs465By288PixelsAt96Dpi) {
    DialogBaseUnits base = DialogBaseUnitsForDpi(96);
    EXPECT_EQ(base.x, 6);
    EXPECT_EQ(base.y, 13);
    EXPECT_EQ(DialogUnitsToPixelsX(IDD_MAIN_WIDTH, base), 465);
    // 177 * 13 / 8 = 287.6, rounded like MulDiv.
    EXPECT_EQ(DialogUnitsToPixelsY(IDD_MAIN_HEIGHT, base), 288);
    EXPECT_EQ(DialogUnitsToPixelsX(0, base), 0);
    EXPECT_EQ(DialogUnitsToPixelsY(0, base), 0);
}

TEST(DialogUnits, BaseUnitsScaleWithResolution) {
    DialogBaseUnits base = DialogBaseUnitsForDpi(192);
    EXPECT_EQ(base.x, 12);
    EXPECT_EQ(base.y, 26);
    EXPECT_EQ(DialogUnitsToPixelsX(IDD_MAIN_WIDTH, base), 930);
    EXPECT_EQ(DialogUnitsToPixelsY(IDD_MAIN_HEIGHT, base), 575);
    base = DialogBaseUnitsForDpi(120);
    EXPECT_EQ(base.x, 8); // 7.5 rounds up
    EXPECT_EQ(base.y, 16);
}

TEST(DialogUnits, XftDpiIsReadFromTheResourceString) {
    EXPECT_EQ(ParseXftDpi(nullptr), 96);
    EXPECT_EQ(ParseXftDpi(""), 96);
    EXPECT_EQ(ParseXftDpi("Xft.dpi:\t120\n"), 120);
    EXPECT_EQ(ParseXftDpi("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144);
    EXPECT_EQ(ParseXftDpi("Xft.dpi: 96.6"), 97);
    EXPECT_EQ(ParseXftDpi("*.dpi: 200\nXcursor.size: 24\n"), 96);
}

TEST(DialogUnits, UnusableDpiValuesFallBackTo96) {
    EXPECT_EQ(ParseXftDpi("Xft.dpi:\n"), 96);
    EXPECT_EQ(ParseXftDpi("Xft.dpi: lots\n"), 96);
    EXPECT_EQ(ParseXftDpi("Xft.dpi: 0\n"), 96);
    EXPECT_EQ(ParseXftDpi("Xft.dpi: -120\n"), 96);
    EXPECT_EQ(ParseXftDpi("Xft.dpi: 1e9\n"), 96);
}

} // namespace
