#include "platform/ui.h"

#include <utility>

namespace shotstamp::ui {

void DataExchange::text(int controlId, std::string& member) {
    if (direction_ == Exchange::save) {
        member = host_.controlText(controlId);
    } else {
        host_.setControlText(controlId, member);
    }
}

Dialog::Dialog(const DialogTemplate& dialogTemplate) : template_(dialogTemplate) {}

int Dialog::runModal(Toolkit& toolkit) {
    if (running_) {
        return -1;
    }
    running_ = true;
    toolkit_ = &toolkit;
    const int result = toolkit.runModal(*this);
    host_ = nullptr;
    running_ = false;
    return result;
}

bool Dialog::onInitDialog(DialogHost& host) {
    host_ = &host;
    return initialise();
}

bool Dialog::onCommand(int id, int notification) {
    for (const CommandEntry& entry : commands_) {
        if (entry.id == id && entry.notification == notification) {
            entry.handler();
            return true;
        }
    }
    if (notification != kButtonClicked) {
        return false;
    }
    if (id == kIdOk) {
        onOk();
        return true;
    }
    if (id == kIdCancel) {
        onCancel();
        return true;
    }
    return false;
}

void Dialog::onSystemCommand(unsigned command, std::intptr_t lParam) {
    handleSystemCommand(command, lParam);
}

void Dialog::onPaint() {
    paint();
}

IconHandle Dialog::onQueryDragIcon() {
    return queryDragIcon();
}

void Dialog::onDestroy() {
    host_ = nullptr;
}

bool Dialog::updateData(bool save) {
    if (host_ == nullptr) {
        return false;
    }
    DataExchange exchange(*host_, save ? Exchange::save : Exchange::load);
    exchangeData(exchange);
    return true;
}

void Dialog::endDialog(int result) {
    if (host_ != nullptr) {
        host_->endDialog(result);
    }
}

void Dialog::addCommand(int id, int notification, CommandHandler handler) {
    commands_.push_back(CommandEntry{id, notification, std::move(handler)});
}

void Dialog::exchangeData(DataExchange&) {}

bool Dialog::initialise() {
    updateData(false);
    return true;
}

void Dialog::onOk() {
    if (updateData(true)) {
        endDialog(kIdOk);
    }
}

void Dialog::onCancel() {
    endDialog(kIdCancel);
}

void Dialog::handleSystemCommand(unsigned command, std::intptr_t lParam) {
    if (host_ != nullptr) {
        host_->defaultSystemCommand(command, lParam);
    }
}

void Dialog::paint() {
    if (host_ != nullptr) {
        host_->defaultPaint();
    }
}

IconHandle Dialog::queryDragIcon() {
    return {};
}

int Application::run(Toolkit& toolkit, std::string commandLine,
                     std::vector<std::string> arguments) {
    toolkit_ = &toolkit;
    commandLine_ = std::move(commandLine);
    arguments_ = std::move(arguments);
    initInstance();
    mainWindow_ = nullptr;
    return 0;
}

std::string Application::helpFilePath() const {
    return toolkit_ != nullptr ? toolkit_->helpFilePath() : std::string();
}

std::string Application::programPath() const {
    return toolkit_ != nullptr ? toolkit_->programPath() : std::string();
}

bool Application::onCommand(int id) {
    if (id == kIdHelpCommand) {
        onHelp();
        return true;
    }
    return false;
}

void Application::onHelp() {
    if (toolkit_ != nullptr) {
        toolkit_->showHelp(kHelpContext, 1);
    }
}

std::string commandLineText(std::string_view line) {
    std::size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        i = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && static_cast<unsigned char>(line[i]) > 0x20) {
            ++i;
        }
    }
    while (i < line.size() && static_cast<unsigned char>(line[i]) >= 0x01 &&
           static_cast<unsigned char>(line[i]) <= 0x20) {
        ++i;
    }
    return std::string(line.substr(i));
}

std::string joinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

} // namespace shotstamp::ui
