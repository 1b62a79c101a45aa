#pragma once

#include "platform/ui.h"
#include "rename/journal.h"
#include "rename/rename_commands.h"

#include <string>
#include <vector>

namespace shotstamp {

// The main window (dialog 102): the prefix field and the buttons "Help", "All in Path",
// "Just marked" and "Exit". "Just marked" carries the cancel id and is the default button, so
// Enter in the field, Escape and a close request rename the marked pictures too; only "Exit"
// closes without renaming. Each rename command ends the window through the OK handling.
class MainDialog final : public ui::Dialog, private PrefixSource {
public:
    struct Options {
        // Rename through this instead of the real file system (tests); null: the real one.
        FileSystem* fileSystem = nullptr;
        RenameObserver* observer = nullptr;
        // Where the journal of the window's renames goes; empty: the user's state folder.
        std::string journalFolder;
    };

    // commandLine and arguments are the application's; the icon comes from the toolkit.
    MainDialog(ui::Toolkit& toolkit, std::string commandLine, std::vector<std::string> arguments,
               Options options);
    MainDialog(ui::Toolkit& toolkit, std::string commandLine, std::vector<std::string> arguments)
        : MainDialog(toolkit, std::move(commandLine), std::move(arguments), Options{}) {}

    // The name prefix as last copied from field 1000; empty at construction.
    const std::string& prefix() const { return prefix_; }
    ui::IconHandle icon() const { return icon_; }

    // The command handlers.
    void renameMarked();
    void renameAllInPath();
    void showHelp();

protected:
    void exchangeData(ui::DataExchange& exchange) override;
    bool initialise() override;
    void handleSystemCommand(unsigned command, std::intptr_t lParam) override;
    void paint() override;
    ui::IconHandle queryDragIcon() override;

private:
    // PrefixSource: the field's current text, through the data exchange.
    std::string currentPrefix() override;
    RenameOptions renameOptions();

    std::string prefix_;
    ui::IconHandle icon_;
    std::string commandLine_;
    std::vector<std::string> arguments_;
    Options options_;
    // Every move the window makes is written down first, so that the run can be undone from
    // the command-line tool. Nothing about it is ever shown: when the journal cannot be written
    // the window renames all the same and the run is recorded as incomplete where it can be.
    RunJournal journal_;
    RenameCommands commands_;
};

} // namespace shotstamp
