// The rig's own readings, without a desktop: a viewer's protocol log and KWin's window geometry.
#include <gtest/gtest.h>

#include "hosts/desktop.h"
#include "support/protocol_log.h"

namespace {

// libwayland 1.23's interface#id is read as interface@id, also where the interface's name ends in
// a digit; a # that follows no name is left as it is.
TEST(ProtocolLog, ReadsAnObjectInEitherForm) {
    const std::string log = "[1.5] -> xdg_activation_v1#5.activate(\"#7\", wl_surface#12)\n"
                            "[2.5] wl_keyboard@9.enter(3, wl_surface@12, array[0])\n";
    std::vector<LogMatch> matches =
        MatchLog(log, R"((xdg_activation_v1@\d+)\.activate\("#7", (wl_surface@\d+)\))");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].groups[1], "xdg_activation_v1@5");
    EXPECT_EQ(matches[0].groups[2], "wl_surface@12");
    matches = MatchLog(log, R"(wl_keyboard@9\.enter\(3, wl_surface@12,)");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].line, 1u);
}

// KWin reports fractions of a logical pixel as JavaScript prints them: times the scale, each edge
// is whole only once rounded (4.666666666666666 at 1.5 is 6.999999999999999).
TEST(KwinGeometry, IsRoundedToTheOutputsPixels) {
    ClientArea area = {};
    ASSERT_TRUE(
        KwinDesktop::OutputPixels("4.666666666666666 9.333333333333332 310 192", 1.5, &area));
    EXPECT_EQ(area.x, 7);
    EXPECT_EQ(area.y, 14);
    EXPECT_EQ(area.width, 465);
    EXPECT_EQ(area.height, 288);
    EXPECT_FALSE(KwinDesktop::OutputPixels("gone", 1.5, &area));
}

} // namespace
