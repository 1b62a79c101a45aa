#include "platform/scripted/scripted_toolkit.h"

namespace shotstamp::ui {

ScriptedWindow::ScriptedWindow(ScriptedToolkit& toolkit, Dialog& dialog)
    : toolkit_(toolkit), dialog_(dialog) {
    for (const ControlTemplate& control : dialog.dialogTemplate().controls) {
        if (control.id != kIdStatic) {
            texts_[control.id] = std::string(control.text);
        }
    }
}

void ScriptedWindow::type(int controlId, std::string_view text) {
    focusedId_ = controlId;
    texts_[controlId] = std::string(text);
}

void ScriptedWindow::focus(int controlId) {
    focusedId_ = controlId;
}

void ScriptedWindow::click(int controlId) {
    focusedId_ = controlId;
    dialog_.onCommand(controlId, kButtonClicked);
}

void ScriptedWindow::pressEnter() {
    dialog_.onCommand(dialog_.dialogTemplate().enterCommandId(focusedId_), kButtonClicked);
}

void ScriptedWindow::pressEscape() {
    dialog_.onCommand(kIdCancel, kButtonClicked);
}

void ScriptedWindow::requestClose() {
    dialog_.onSystemCommand(kSysCommandClose, 0);
}

void ScriptedWindow::sendSystemCommand(unsigned command) {
    dialog_.onSystemCommand(command, 0);
}

void ScriptedWindow::paint() {
    dialog_.onPaint();
}

std::string ScriptedWindow::controlText(int controlId) const {
    const auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : found->second;
}

void ScriptedWindow::setControlText(int controlId, std::string_view text) {
    texts_[controlId] = std::string(text);
}

void ScriptedWindow::endDialog(int result) {
    ended_ = true;
    result_ = result;
}

bool ScriptedWindow::hasSystemMenu() const {
    return (dialog_.dialogTemplate().style & kStyleSysMenu) != 0;
}

void ScriptedWindow::appendSystemMenu(unsigned command, std::string_view text) {
    toolkit_.record.menuEntries.push_back(
        {dialog_.dialogTemplate().id, command, std::string(text)});
}

void ScriptedWindow::setIcon(IconHandle icon, bool big) {
    toolkit_.record.iconsSet.push_back({dialog_.dialogTemplate().id, icon.native, big});
}

void ScriptedWindow::defaultSystemCommand(unsigned command, std::intptr_t) {
    toolkit_.record.defaultSystemCommands.push_back(command);
    // The dialog's default window procedure turns a close request into the cancel command.
    if ((command & kSysCommandMask) == kSysCommandClose) {
        dialog_.onCommand(kIdCancel, kButtonClicked);
    }
}

void ScriptedWindow::defaultPaint() {
    ++toolkit_.record.defaultPaints;
}

void ScriptedWindow::drawMinimisedIcon(IconHandle icon, int x, int y) {
    toolkit_.record.minimisedIcons.push_back({icon.native, x, y});
}

int ScriptedToolkit::runModal(Dialog& dialog) {
    record.opened.push_back(dialog.dialogTemplate().id);
    ScriptedWindow window(*this, dialog);
    if (dialog.onInitDialog(window)) {
        for (const ControlTemplate& control : dialog.dialogTemplate().controls) {
            if ((control.style & kStyleTabStop) != 0) {
                window.focus(control.id);
                break;
            }
        }
    }
    if (onShown) {
        onShown(window);
    }
    while (!window.ended() && !steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        step(window);
    }
    dialog.onDestroy();
    record.runs.push_back({dialog.dialogTemplate().id, window.result(), window.ended()});
    return window.ended() ? window.result() : -1;
}

IconHandle ScriptedToolkit::loadIcon(int resourceId) {
    return resourceId == 128 ? IconHandle{&iconResource} : IconHandle{};
}

std::string ScriptedToolkit::loadString(int resourceId) {
    const auto found = strings.find(resourceId);
    return found == strings.end() ? std::string() : found->second;
}

bool ScriptedToolkit::showHelp(unsigned command, unsigned data) {
    record.helpRequests.emplace_back(command, data);
    return true;
}

} // namespace shotstamp::ui
