#pragma once

#include "platform/ui.h"

#include <string>
#include <string_view>

namespace shotstamp {

enum class StartMode { install, uninstall, interactive };

// The whole command-line text against "/Install" and "/Uninstall", byte for byte and
// case-sensitive; anything else, the empty text included, is interactive.
StartMode chooseMode(std::string_view commandLine);

// The program the Send To entry starts: the help file's path with ".CHM" replaced by ".exe"
// where the help file is a compiled help file beside the program (Windows), else the running
// program's own path.
std::string installTarget(const std::string& helpFilePath, const std::string& programPath);

// The application object: chooses the mode and carries it out. In every mode the start-up
// step returns false, so no message loop runs after it and the program ends.
class ShotstampApp final : public ui::Application {
public:
    ShotstampApp() = default;

    // How the last start-up step went, for the back end's entry point and tests.
    StartMode mode() const { return mode_; }
    // The interactive run's result, -1 when none ran or no window could be made.
    int dialogResult() const { return dialogResult_; }
    // False when /Install or /Uninstall failed; never shown, never the exit status.
    bool shortcutResult() const { return shortcutResult_; }

protected:
    bool initInstance() override;

private:
    StartMode mode_ = StartMode::interactive;
    int dialogResult_ = -1;
    bool shortcutResult_ = false;
};

} // namespace shotstamp
