// MainDialog and AboutDialog driven through the scripted back end on real files: every way into
// the rename commands, Exit, Help, the system commands and the minimised painting.

#include "app/main_dialog.h"
#include "platform/scripted/scripted_toolkit.h"
#include "res/dialog_templates.h"
#include "tests/support/test_files.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace shotstamp {
namespace {

using testing::jpegWithExif;
using testing::TempFolder;
using testing::writeFile;
using ui::ScriptedToolkit;
using ui::ScriptedWindow;

constexpr int kField = res::kPrefixFieldId;

std::vector<std::string> names(const TempFolder& folder) {
    std::vector<std::string> out;
    for (const auto& [name, sum] : folder.contents()) {
        out.push_back(name);
    }
    return out;
}

// Two marked pictures in one folder, the dialog, and a toolkit to script it.
struct Fixture {
    TempFolder folder;
    ScriptedToolkit toolkit;
    std::vector<std::string> arguments;

    Fixture() {
        writeFile(folder.path() + "a.jpg", jpegWithExif("2005:12:30 20:57:32", "a"));
        writeFile(folder.path() + "b.JPG", jpegWithExif("2006:01:02 03:04:05", "b"));
        arguments = {folder.path() + "a.jpg", folder.path() + "b.JPG"};
    }
    std::string commandLine() const { return arguments[0] + " " + arguments[1]; }

    int run(MainDialog::Options options = {}) {
        MainDialog dialog(toolkit, commandLine(), arguments, options);
        return dialog.runModal(toolkit);
    }
};

const std::vector<std::string> kRenamedWithTrip = {"Trip 2005-12-30 205732.jpg",
                                                   "Trip 2006-01-02 030405.jpg"};
const std::vector<std::string> kUntouched = {"a.jpg", "b.JPG"};

struct Route {
    const char* name;
    std::function<void(ScriptedWindow&)> act;
};

// Everything that reaches command 2 renames the marked pictures and ends the run with IDOK.
TEST(MainDialogRoutes, EveryCancelRouteRenamesTheMarkedPictures) {
    const Route routes[] = {
        {"Enter in the field", [](ScriptedWindow& w) { w.pressEnter(); }},
        {"Escape", [](ScriptedWindow& w) { w.pressEscape(); }},
        {"close request", [](ScriptedWindow& w) { w.requestClose(); }},
        {"click Just marked", [](ScriptedWindow& w) { w.click(ui::kIdCancel); }},
        {"Enter on Just marked",
         [](ScriptedWindow& w) {
             w.focus(ui::kIdCancel);
             w.pressEnter();
         }},
    };
    for (const Route& route : routes) {
        Fixture f;
        f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "Trip "); });
        f.toolkit.then(route.act);
        EXPECT_EQ(f.run(), ui::kIdOk) << route.name;
        EXPECT_EQ(names(f.folder), kRenamedWithTrip) << route.name;
        EXPECT_EQ(f.toolkit.pendingSteps(), 0U) << route.name;
    }
}

// Escape renames, and the run can be undone from its journal; a journal that cannot be written
// changes nothing the window does or shows.
TEST(MainDialogJournal, EscapeCanBeUndoneAndAnUnwritableJournalIsSilent) {
    TempFolder state;
    writeFile(state.path() + "a file", "not a folder");
    const std::vector<std::string> renamed = {"2005-12-30 205732.jpg", "2006-01-02 030405.jpg"};
    for (const std::string& journalFolder : {state.path(), state.path() + "a file/"}) {
        Fixture f;
        const auto before = f.folder.contents();
        f.toolkit.then([](ScriptedWindow& w) { w.pressEscape(); });
        MainDialog::Options options;
        options.journalFolder = journalFolder;
        EXPECT_EQ(f.run(options), ui::kIdOk);
        EXPECT_EQ(names(f.folder), renamed);
        EXPECT_EQ(f.toolkit.record.opened, std::vector<int>({res::kMainDialogId}));
        EXPECT_EQ(f.toolkit.record.helpRequests.size(), 0u);

        JournalRun run;
        const bool journaled = readRun(realFileSystem(), journalFolder,
                                       lastUndoableRun(realFileSystem(), journalFolder), run);
        EXPECT_EQ(journaled, journalFolder == state.path());
        if (journaled) {
            EXPECT_EQ(run.startedBy, "window: Just marked");
            undoRun(run, realFileSystem(), nullptr, [](const UndoStep& step) {
                EXPECT_EQ(step.kind, UndoKind::reverted) << step.newPath;
            });
            EXPECT_EQ(f.folder.contents(), before);
        }
    }
}

TEST(MainDialogRoutes, ExitRenamesNothingAndStillSavesTheField) {
    const Route routes[] = {
        {"click Exit", [](ScriptedWindow& w) { w.click(ui::kIdOk); }},
        {"Enter on Exit",
         [](ScriptedWindow& w) {
             w.focus(ui::kIdOk);
             w.pressEnter();
         }},
    };
    for (const Route& route : routes) {
        Fixture f;
        MainDialog dialog(f.toolkit, f.commandLine(), f.arguments);
        f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "Trip "); });
        f.toolkit.then(route.act);
        EXPECT_EQ(dialog.runModal(f.toolkit), ui::kIdOk) << route.name;
        EXPECT_EQ(names(f.folder), kUntouched) << route.name;
        EXPECT_EQ(dialog.prefix(), "Trip ") << route.name;
    }
}

TEST(MainDialogRoutes, AllInPathRenamesTheFirstEntrysFolderOnly) {
    Fixture f;
    TempFolder other;
    writeFile(f.folder.path() + "unmarked.jpg", jpegWithExif("2007:07:07 07:07:07", "u"));
    writeFile(f.folder.path() + "notes.txt", "text");
    writeFile(other.path() + "elsewhere.jpg", jpegWithExif("2008:08:08 08:08:08", "e"));
    f.arguments = {f.folder.path() + "a.jpg", other.path() + "elsewhere.jpg"};
    f.toolkit.then([](ScriptedWindow& w) { w.click(res::kAllInPathId); });
    EXPECT_EQ(f.run(), ui::kIdOk);
    EXPECT_EQ(names(f.folder),
              (std::vector<std::string>{"2005-12-30 205732.jpg", "2006-01-02 030405.jpg",
                                        "2007-07-07 070707.jpg", "notes.txt"}));
    EXPECT_EQ(names(other), std::vector<std::string>{"elsewhere.jpg"});
}

TEST(MainDialogRoutes, EitherCommandWithoutPicturesJustCloses) {
    for (const int command : {ui::kIdCancel, res::kAllInPathId}) {
        ScriptedToolkit toolkit;
        MainDialog dialog(toolkit, "", {});
        toolkit.then([command](ScriptedWindow& w) { w.click(command); });
        EXPECT_EQ(dialog.runModal(toolkit), ui::kIdOk) << command;
    }
}

// The prefix is the field's text at the moment each picture is renamed.
TEST(MainDialogRoutes, EachPictureTakesTheFieldTextOfItsMoment) {
    struct ChangeField final : RenameObserver {
        ScriptedWindow* window = nullptr;
        void onOutcome(const RenameOutcome&) override { window->type(kField, "Later "); }
    } observer;
    Fixture f;
    f.toolkit.onShown = [&observer](ScriptedWindow& w) { observer.window = &w; };
    f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "First "); });
    f.toolkit.then([](ScriptedWindow& w) { w.pressEnter(); });
    MainDialog::Options options;
    options.observer = &observer;
    EXPECT_EQ(f.run(options), ui::kIdOk);
    EXPECT_EQ(names(f.folder), (std::vector<std::string>{"First 2005-12-30 205732.jpg",
                                                         "Later 2006-01-02 030405.jpg"}));
}

TEST(MainDialogRoutes, HelpAsksForContextOneAndLeavesTheWindowAsItWas) {
    for (const int focus : {kField, ui::kIdOk, ui::kIdCancel, res::kAllInPathId}) {
        Fixture f;
        std::string textAfterHelp;
        f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "Keep"); });
        f.toolkit.then([focus](ScriptedWindow& w) {
            w.focus(focus);
            w.click(ui::kIdHelp);
        });
        f.toolkit.then([&textAfterHelp](ScriptedWindow& w) {
            EXPECT_FALSE(w.ended());
            textAfterHelp = w.controlText(kField);
            w.click(ui::kIdOk);
        });
        EXPECT_EQ(f.run(), ui::kIdOk);
        EXPECT_EQ(f.toolkit.record.helpRequests,
                  (std::vector<std::pair<unsigned, unsigned>>{{ui::kHelpContext, 1}}));
        EXPECT_EQ(textAfterHelp, "Keep");
        EXPECT_EQ(names(f.folder), kUntouched);
    }
}

TEST(MainDialogStart, FieldEmptyFocusedAndOneIconForBothSizes) {
    Fixture f;
    f.toolkit.strings[res::kAboutMenuStringId] = "About Shotstamp..."; // still no window menu
    std::string text = "unset";
    int focused = 0;
    f.toolkit.onShown = [&](ScriptedWindow& w) {
        text = w.controlText(kField);
        focused = w.focusedId();
    };
    f.toolkit.then([](ScriptedWindow& w) { w.click(ui::kIdOk); });
    f.run();
    EXPECT_EQ(text, "");
    EXPECT_EQ(focused, kField);
    ASSERT_EQ(f.toolkit.record.iconsSet.size(), 2U);
    EXPECT_TRUE(f.toolkit.record.iconsSet[0].big);
    EXPECT_FALSE(f.toolkit.record.iconsSet[1].big);
    EXPECT_EQ(f.toolkit.record.iconsSet[0].icon, &f.toolkit.iconResource);
    EXPECT_EQ(f.toolkit.record.iconsSet[1].icon, &f.toolkit.iconResource);
    EXPECT_TRUE(f.toolkit.record.menuEntries.empty());
}

// The About box opens for 0x0010..0x001F whatever the low bits; other commands take the
// default handling, where a close turns into "Just marked".
TEST(MainDialogSystemCommands, AboutForItsCommandOnlyAndNothingLost) {
    for (unsigned command = 0x000F; command <= 0x0020; ++command) {
        Fixture f;
        std::string textAfter;
        f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "Trip "); });
        f.toolkit.then([command](ScriptedWindow& w) { w.sendSystemCommand(command); });
        const bool about = command >= 0x0010 && command <= 0x001F;
        if (about) {
            f.toolkit.then([](ScriptedWindow& w) { w.click(ui::kIdOk); }); // in the About box
        }
        f.toolkit.then([&textAfter](ScriptedWindow& w) {
            textAfter = w.controlText(kField);
            w.click(ui::kIdOk);
        });
        EXPECT_EQ(f.run(), ui::kIdOk) << command;
        const std::vector<int> expectedRuns =
            about ? std::vector<int>{res::kMainDialogId, res::kAboutDialogId}
                  : std::vector<int>{res::kMainDialogId};
        EXPECT_EQ(f.toolkit.record.opened, expectedRuns) << command;
        EXPECT_EQ(f.toolkit.record.defaultSystemCommands,
                  about ? std::vector<unsigned>{} : std::vector<unsigned>{command})
            << command;
        EXPECT_EQ(textAfter, "Trip ") << command;
        EXPECT_EQ(names(f.folder), kUntouched) << command;
    }
}

TEST(MainDialogSystemCommands, CloseCommandRunsJustMarked) {
    Fixture f;
    f.toolkit.then([](ScriptedWindow& w) { w.type(kField, "Trip "); });
    f.toolkit.then([](ScriptedWindow& w) { w.sendSystemCommand(ui::kSysCommandClose); });
    EXPECT_EQ(f.run(), ui::kIdOk);
    EXPECT_EQ(names(f.folder), kRenamedWithTrip);
}

TEST(AboutBox, OkAndEnterGiveOkEscapeAndCloseGiveCancel) {
    const std::pair<Route, int> cases[] = {
        {{"OK", [](ScriptedWindow& w) { w.click(ui::kIdOk); }}, ui::kIdOk},
        {{"Enter", [](ScriptedWindow& w) { w.pressEnter(); }}, ui::kIdOk},
        {{"Escape", [](ScriptedWindow& w) { w.pressEscape(); }}, ui::kIdCancel},
        {{"close", [](ScriptedWindow& w) { w.requestClose(); }}, ui::kIdCancel},
    };
    for (const auto& [route, result] : cases) {
        Fixture f;
        f.toolkit.then([](ScriptedWindow& w) { w.sendSystemCommand(ui::kSysCommandAbout); });
        f.toolkit.then(route.act);
        f.toolkit.then([](ScriptedWindow& w) { w.click(ui::kIdOk); });
        f.run();
        ASSERT_EQ(f.toolkit.record.runs.size(), 2U) << route.name;
        EXPECT_EQ(f.toolkit.record.runs[0].templateId, res::kAboutDialogId);
        EXPECT_EQ(f.toolkit.record.runs[0].result, result) << route.name;
        EXPECT_EQ(names(f.folder), kUntouched) << route.name;
    }
}

TEST(MainDialogPaint, MinimisedDrawsTheIconCentredOtherwiseTheStandardPainting) {
    Fixture f;
    f.toolkit.then([](ScriptedWindow& w) { w.paint(); });
    f.toolkit.then([&f](ScriptedWindow& w) {
        w.minimise();
        w.setClientSize({100, 50});
        w.paint();
        w.setClientSize({0, 0});
        w.paint();
        EXPECT_EQ(w.dialog().onQueryDragIcon().native, &f.toolkit.iconResource);
        w.click(ui::kIdOk);
    });
    f.run();
    EXPECT_EQ(f.toolkit.record.defaultPaints, 1);
    ASSERT_EQ(f.toolkit.record.minimisedIcons.size(), 2U);
    EXPECT_EQ(f.toolkit.record.minimisedIcons[0].x, 34);
    EXPECT_EQ(f.toolkit.record.minimisedIcons[0].y, 9);
    EXPECT_EQ(f.toolkit.record.minimisedIcons[1].x, -15);
    EXPECT_EQ(f.toolkit.record.minimisedIcons[1].y, -15);
    EXPECT_EQ(f.toolkit.record.minimisedIcons[0].icon, &f.toolkit.iconResource);
}

} // namespace
} // namespace shotstamp
