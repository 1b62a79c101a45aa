// The start-up step on Linux: what each mode does with the file-manager menus.

#include "app/shotstamp_app.h"
#include "platform/scripted/scripted_toolkit.h"
#include "res/dialog_templates.h"
#include "tests/support/test_files.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace shotstamp {
namespace {

// A private data folder for the menu entries, restored afterwards.
class DataHome {
public:
    DataHome() {
        const char* old = std::getenv("XDG_DATA_HOME");
        hadOld_ = old != nullptr;
        old_ = hadOld_ ? old : "";
        ::setenv("XDG_DATA_HOME", folder_.path().c_str(), 1);
    }
    ~DataHome() {
        if (hadOld_) {
            ::setenv("XDG_DATA_HOME", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }
    DataHome(const DataHome&) = delete;
    DataHome& operator=(const DataHome&) = delete;
    std::string path(const std::string& below) const { return folder_.path() + below; }

private:
    testing::TempFolder folder_;
    bool hadOld_ = false;
    std::string old_;
};

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

TEST(StartUp, InstallAndUninstallShowNothingAndUseTheProgramPath) {
    DataHome home;
    ui::ScriptedToolkit toolkit;
    toolkit.program = "/opt/shot stamp/bin/shotstamp";
    {
        ShotstampApp app;
        EXPECT_EQ(app.run(toolkit, "/Install"), 0);
        EXPECT_EQ(app.mode(), StartMode::install);
        EXPECT_TRUE(app.shortcutResult());
    }
    const std::string script = home.path("nautilus/scripts/Shotstamp");
    ASSERT_TRUE(exists(script));
    EXPECT_NE(testing::readFile(script).find("'/opt/shot stamp/bin/shotstamp'"), std::string::npos);
    {
        ShotstampApp app;
        EXPECT_EQ(app.run(toolkit, "/Uninstall"), 0);
        EXPECT_TRUE(app.shortcutResult());
    }
    EXPECT_FALSE(exists(script));
    {
        ShotstampApp app;
        app.run(toolkit, "/Uninstall");
        EXPECT_FALSE(app.shortcutResult()); // nothing was there
    }
    EXPECT_TRUE(toolkit.record.opened.empty());
}

TEST(StartUp, AnythingElseRunsTheMainWindowWithTheCommandLine) {
    DataHome home;
    testing::TempFolder pictures;
    testing::writeFile(pictures.path() + "a.jpg", testing::jpegWithExif("2005:12:30 20:57:32"));
    for (const char* line : {"/install", "/Install "}) {
        ui::ScriptedToolkit toolkit;
        toolkit.then([](ui::ScriptedWindow& w) { w.click(ui::kIdOk); });
        ShotstampApp app;
        app.run(toolkit, line);
        EXPECT_EQ(app.mode(), StartMode::interactive) << line;
        EXPECT_EQ(app.dialogResult(), ui::kIdOk) << line;
        EXPECT_EQ(toolkit.record.opened, std::vector<int>{res::kMainDialogId}) << line;
        EXPECT_EQ(app.mainWindow(), nullptr) << line;
        EXPECT_FALSE(exists(home.path("nautilus/scripts/Shotstamp"))) << line;
    }
    ui::ScriptedToolkit toolkit;
    toolkit.then([](ui::ScriptedWindow& w) { w.pressEnter(); });
    ShotstampApp app;
    app.run(toolkit, pictures.path() + "a.jpg", {pictures.path() + "a.jpg"});
    EXPECT_TRUE(exists(pictures.path() + "2005-12-30 205732.jpg"));
}

TEST(StartUp, ApplicationHelpCommandAsksForContextOne) {
    DataHome home;
    ui::ScriptedToolkit toolkit;
    ShotstampApp app;
    app.run(toolkit, "/Uninstall");
    EXPECT_TRUE(app.onCommand(ui::kIdHelpCommand));
    EXPECT_FALSE(app.onCommand(ui::kIdHelp));
    EXPECT_EQ(toolkit.record.helpRequests,
              (std::vector<std::pair<unsigned, unsigned>>{{ui::kHelpContext, 1}}));
}

} // namespace
} // namespace shotstamp
