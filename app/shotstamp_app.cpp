#include "app/shotstamp_app.h"

#include "app/main_dialog.h"
#include "shell/shortcut_installer.h"

namespace shotstamp {

namespace {
constexpr std::string_view kLinkName = "Shotstamp";

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
}
} // namespace

StartMode chooseMode(std::string_view commandLine) {
    if (commandLine == "/Install") {
        return StartMode::install;
    }
    if (commandLine == "/Uninstall") {
        return StartMode::uninstall;
    }
    return StartMode::interactive;
}

std::string installTarget(const std::string& helpFilePath, const std::string& programPath) {
    constexpr std::string_view compiledHelp = ".CHM";
    if (endsWith(helpFilePath, compiledHelp)) {
        return helpFilePath.substr(0, helpFilePath.size() - compiledHelp.size()) + ".exe";
    }
    return programPath;
}

bool ShotstampApp::initInstance() {
    mode_ = chooseMode(commandLine());
    switch (mode_) {
    case StartMode::install: {
        ShortcutRequest request;
        request.target = installTarget(helpFilePath(), programPath());
        request.linkName = std::string(kLinkName);
        request.folderId = kFolderSendTo;
        request.iconIndex = 1;
        ShortcutInstaller installer;
        shortcutResult_ = installer.create(request);
        return false;
    }
    case StartMode::uninstall: {
        ShortcutInstaller installer;
        shortcutResult_ = installer.remove(std::string(kLinkName), kFolderSendTo);
        return false;
    }
    case StartMode::interactive:
        break;
    }
    MainDialog dialog(toolkit(), commandLine(), arguments());
    setMainWindow(&dialog);
    dialogResult_ = dialog.runModal(toolkit());
    setMainWindow(nullptr);
    return false;
}

} // namespace shotstamp
