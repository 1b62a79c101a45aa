// The Win32 back end's own arithmetic: where the help file is.

#include "platform/win32/ui_win32.h"

#include <gtest/gtest.h>

namespace {

TEST(HelpPath, ReplacesTheProgramsExtensionWithChm) {
    struct Case {
        const char* program;
        const char* help;
    };
    for (const Case& c : {
             Case{"D:\\Tools\\Shotstamp.exe", "D:\\Tools\\Shotstamp.CHM"},
             Case{"D:\\TOOLS\\SHOTSTAMP.EXE", "D:\\TOOLS\\SHOTSTAMP.CHM"},
             Case{"C:\\a.b\\shot.stamp.exe", "C:\\a.b\\shot.stamp.CHM"},
             Case{"C:\\v1.2\\Shotstamp", "C:\\v1.2\\Shotstamp.CHM"}, // a dot only in the folder
             Case{"Shotstamp", "Shotstamp.CHM"},
         }) {
        EXPECT_EQ(shotstamp::ui::helpPathFor(c.program), c.help) << c.program;
    }
}

class NoStartUp final : public shotstamp::ui::Application {
protected:
    bool initInstance() override { return false; }
};

TEST(Win32Toolkit, HelpFileIsTheRunningProgramWithChm) {
    char own[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    ASSERT_GT(length, 4u);
    const std::string program(own, length);

    NoStartUp application;
    shotstamp::ui::Win32Toolkit toolkit(GetModuleHandleA(nullptr), application);
    EXPECT_EQ(toolkit.programPath(), program);
    EXPECT_EQ(toolkit.helpFilePath(), program.substr(0, program.size() - 4) + ".CHM");
}

TEST(Win32Toolkit, ResourcesMissingFromAProgramGiveNothing) {
    NoStartUp application;
    shotstamp::ui::Win32Toolkit toolkit(GetModuleHandleA(nullptr), application);
    // This test program carries no resources: no icon 128, no string 101.
    EXPECT_FALSE(toolkit.loadIcon(128));
    EXPECT_EQ(toolkit.loadString(101), "");
}

} // namespace
