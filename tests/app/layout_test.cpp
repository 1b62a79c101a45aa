// Pure arithmetic the back ends rely on: dialog units to pixels, the minimised icon's place, the
// command-line text cut from a Windows command line, Enter's command.

#include "app/icon_position.h"
#include "platform/dialog_template.h"
#include "platform/placement.h"
#include "platform/ui.h"
#include "res/dialog_templates.h"

#include <climits>
#include <gtest/gtest.h>

namespace shotstamp {
namespace {

TEST(MinimisedIcon, CentresWithTheRoundingOfTheOriginalFormula) {
    struct Case {
        int width, height, icon, x, y;
    };
    const Case cases[] = {
        {100, 50, 32, 34, 9}, {0, 0, 32, -15, -15}, {32, 32, 32, 0, 0}, {33, 33, 32, 1, 1},
        {31, 30, 32, 0, 0},   {1, 2, 32, -15, -14}, {16, 16, 16, 0, 0}, {640, 480, 48, 296, 216},
    };
    for (const Case& c : cases) {
        const IconPosition at = minimisedIconPosition(c.width, c.height, c.icon, c.icon);
        EXPECT_EQ(at.x, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(at.y, c.y) << c.width << "x" << c.height;
    }
}

TEST(MinimisedIcon, ExtremeSizesDoNotOverflow) {
    EXPECT_EQ(minimisedIconPosition(INT_MAX, 0, 0, INT_MAX).x, INT_MAX / 2 + 1);
    EXPECT_EQ(minimisedIconPosition(INT_MIN, 0, INT_MAX, 0).x, INT_MIN + 1);
}

TEST(DialogUnits, ScaleEachEdgeWithRoundingHalvesAway) {
    EXPECT_EQ(ui::mulDivRound(210, 7, 4), 368); // 367.5
    EXPECT_EQ(ui::mulDivRound(-1, 6, 4), -2);   // -1.5
    EXPECT_EQ(ui::mulDivRound(5, 13, 8), 8);    // 8.125
    const ui::PixelRect field = ui::dialogUnitsToPixels({3, 2, 206, 13}, {7, 13});
    EXPECT_EQ(field.left, 5);    // 5.25
    EXPECT_EQ(field.top, 3);     // 3.25
    EXPECT_EQ(field.right, 366); // 365.75
    EXPECT_EQ(field.bottom, 24); // 24.375
}

// The four buttons stand edge to edge; rounding edges (not widths) keeps them so at every size.
TEST(DialogUnits, MainWindowButtonsStayEdgeToEdgeAtEveryBaseUnit) {
    const int order[] = {ui::kIdHelp, res::kAllInPathId, ui::kIdCancel, ui::kIdOk};
    for (int bx = 4; bx <= 12; ++bx) {
        for (int by = 8; by <= 24; ++by) {
            for (int i = 0; i + 1 < 4; ++i) {
                const auto* left = res::kMainDialog.control(order[i]);
                const auto* right = res::kMainDialog.control(order[i + 1]);
                ASSERT_NE(left, nullptr);
                ASSERT_NE(right, nullptr);
                EXPECT_EQ(ui::dialogUnitsToPixels(left->rect, {bx, by}).right,
                          ui::dialogUnitsToPixels(right->rect, {bx, by}).left);
            }
        }
    }
}

TEST(CommandLineText, CutsTheProgramNameAsTheRuntimeDoes) {
    struct Case {
        const char* line;
        const char* text;
    };
    const Case cases[] = {
        {"Shotstamp.exe /Install", "/Install"},
        {"Shotstamp.exe    \t/Install", "/Install"},
        {"\"C:\\Program Files\\Shotstamp.exe\" /Uninstall", "/Uninstall"},
        {"\"C:\\a b\\x.exe\"/Install", "/Install"},
        {"\"C:\\no closing quote /Install", ""},
        {"Shotstamp.exe /Install ", "/Install "},
        {"Shotstamp.exe", ""},
        {"", ""},
        {"x.exe \"d:\\p q\\a.jpg\" b.JPG", "\"d:\\p q\\a.jpg\" b.JPG"},
        {"x.exe\x01\x1f\x20"
         "a",
         "a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::commandLineText(c.line), c.text) << c.line;
    }
}

TEST(CommandLineText, JoinsArgumentsWithSingleBlanks) {
    const char* none[] = {nullptr};
    const char* two[] = {"a b.jpg", "/Install"};
    EXPECT_EQ(ui::joinArguments(0, none), "");
    EXPECT_EQ(ui::joinArguments(2, two), "a b.jpg /Install");
}

TEST(DialogTemplate, EnterPressesTheFocusedButtonElseTheDefault) {
    const ui::DialogTemplate& main = res::kMainDialog;
    EXPECT_EQ(main.enterCommandId(res::kPrefixFieldId), ui::kIdCancel);
    EXPECT_EQ(main.enterCommandId(ui::kIdOk), ui::kIdOk);
    EXPECT_EQ(main.enterCommandId(res::kAllInPathId), res::kAllInPathId);
    EXPECT_EQ(main.enterCommandId(ui::kIdHelp), ui::kIdHelp);
    EXPECT_EQ(main.enterCommandId(0), ui::kIdCancel);
    EXPECT_EQ(res::kAboutDialog.enterCommandId(ui::kIdStatic), ui::kIdOk);
}

TEST(WindowPlacement, CentresThenKeepsTheWholeWindowOnTheWorkArea) {
    const ui::PixelRect work{1024, 40, 2048, 768};
    const struct {
        int width, height;
        ui::PixelRect over;
        int x, y;
    } cases[] = {
        {321, 70, work, 1375, 369},                    // on the work area, halves truncated
        {332, 108, {1900, 700, 2221, 770}, 1716, 660}, // owner off the corner: pushed back in
        {2000, 900, work, 1024, 40},                   // larger than the area: top-left kept
    };
    for (const auto& c : cases) {
        const ui::PixelPoint at = ui::placeCentred(c.width, c.height, c.over, work);
        EXPECT_TRUE(at.x == c.x && at.y == c.y) << c.width << "x" << c.height << " at " << at.x;
    }
}

} // namespace
} // namespace shotstamp
