#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/icon_position.h"
#include "res/dialog_templates.h"

namespace shotstamp {

MainDialog::MainDialog(ui::Toolkit& toolkit, std::string commandLine,
                       std::vector<std::string> arguments, Options options)
    : ui::Dialog(res::kMainDialog), icon_(toolkit.loadIcon(res::kAppIconId)),
      commandLine_(std::move(commandLine)), arguments_(std::move(arguments)), options_(options),
      journal_(options.journalFolder, {}, {}, RunJournal::WhenUnwritable::goOn),
      commands_([this] { return makeEntryList(commandLine_, arguments_); }, *this,
                [this] { onOk(); }, options.observer, options.fileSystem) {
    addCommand(ui::kIdCancel, ui::kButtonClicked, [this] { renameMarked(); });
    addCommand(res::kAllInPathId, ui::kButtonClicked, [this] { renameAllInPath(); });
    addCommand(ui::kIdHelp, ui::kButtonClicked, [this] { showHelp(); });
    commands_.setOptions(renameOptions());
}

RenameOptions MainDialog::renameOptions() {
    // The window's plain renaming; only moves on the real file system are journaled.
    RenameOptions options;
    options.journal = options_.fileSystem == nullptr ? &journal_ : nullptr;
    return options;
}

void MainDialog::renameMarked() {
    journal_.setStartedBy("window: Just marked");
    commands_.renameMarked();
}

void MainDialog::renameAllInPath() {
    journal_.setStartedBy("window: All in Path");
    commands_.renameAllInPath();
}

void MainDialog::showHelp() {
    if (toolkit() != nullptr) {
        toolkit()->showHelp(ui::kHelpContext, 1);
    }
}

std::string MainDialog::currentPrefix() {
    updateData(true);
    return prefix_;
}

void MainDialog::exchangeData(ui::DataExchange& exchange) {
    exchange.text(res::kPrefixFieldId, prefix_);
}

bool MainDialog::initialise() {
    ui::Dialog::initialise();
    if (host()->hasSystemMenu() && toolkit() != nullptr) {
        const std::string about = toolkit()->loadString(res::kAboutMenuStringId);
        if (!about.empty()) {
            host()->appendSystemMenu(0, {});
            host()->appendSystemMenu(ui::kSysCommandAbout, about);
        }
    }
    // One image serves both sizes.
    host()->setIcon(icon_, true);
    host()->setIcon(icon_, false);
    return true;
}

void MainDialog::handleSystemCommand(unsigned command, std::intptr_t lParam) {
    if ((command & ui::kSysCommandMask) == ui::kSysCommandAbout) {
        if (toolkit() != nullptr) {
            AboutDialog about;
            about.runModal(*toolkit());
        }
        return;
    }
    ui::Dialog::handleSystemCommand(command, lParam);
}

void MainDialog::paint() {
    if (!host()->isMinimised()) {
        ui::Dialog::paint();
        return;
    }
    const ui::PixelSize client = host()->clientSize();
    const ui::PixelSize iconSize = host()->iconSize();
    const IconPosition at =
        minimisedIconPosition(client.width, client.height, iconSize.width, iconSize.height);
    host()->drawMinimisedIcon(icon_, at.x, at.y);
}

ui::IconHandle MainDialog::queryDragIcon() {
    return icon_;
}

} // namespace shotstamp
