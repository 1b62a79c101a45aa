// Which command lines choose which mode: the same on every platform.

#include "app/shotstamp_app.h"

#include <gtest/gtest.h>
#include <utility>

namespace shotstamp {
namespace {

TEST(ModeChoice, OnlyTheExactSwitchesLeaveInteractiveMode) {
    const std::pair<const char*, StartMode> cases[] = {
        {"/Install", StartMode::install},         {"/Uninstall", StartMode::uninstall},
        {"/install", StartMode::interactive},     {"/INSTALL", StartMode::interactive},
        {"/Install ", StartMode::interactive},    {"/Install a.jpg", StartMode::interactive},
        {" /Install", StartMode::interactive},    {"/uninstall", StartMode::interactive},
        {"/Uninstall\t", StartMode::interactive}, {"", StartMode::interactive},
        {"a.jpg", StartMode::interactive},
    };
    for (const auto& [line, mode] : cases) {
        EXPECT_EQ(chooseMode(line), mode) << '"' << line << '"';
    }
}

TEST(ModeChoice, SwitchesFromAProcessCommandLineOrFromArguments) {
    EXPECT_EQ(chooseMode(ui::commandLineText("Shotstamp.exe   /Install")), StartMode::install);
    EXPECT_EQ(chooseMode(ui::commandLineText("\"C:\\My Tools\\Shotstamp.exe\" /Uninstall")),
              StartMode::uninstall);
    const char* alone[] = {"/Install"};
    const char* withMore[] = {"/Install", "a.jpg"};
    const char* blankInside[] = {"/Install "};
    EXPECT_EQ(chooseMode(ui::joinArguments(1, alone)), StartMode::install);
    EXPECT_EQ(chooseMode(ui::joinArguments(2, withMore)), StartMode::interactive);
    EXPECT_EQ(chooseMode(ui::joinArguments(1, blankInside)), StartMode::interactive);
}

TEST(InstallTarget, CompiledHelpBesideTheProgramGivesItsExe) {
    EXPECT_EQ(installTarget("D:\\Tools\\Shotstamp.CHM", "ignored"), "D:\\Tools\\Shotstamp.exe");
    EXPECT_EQ(installTarget("D:\\TOOLS\\SHOTSTAMP.CHM", "ignored"), "D:\\TOOLS\\SHOTSTAMP.exe");
    EXPECT_EQ(installTarget("/usr/share/shotstamp/shotstamp.html", "/usr/bin/shotstamp"),
              "/usr/bin/shotstamp");
}

} // namespace
} // namespace shotstamp
