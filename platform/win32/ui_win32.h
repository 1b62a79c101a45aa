#pragma once

// The Win32 back end of the window layer: dialogs from the program's dialog resources run by
// the dialog manager (DialogBoxParamA), HTML help through HtmlHelpA, the program's own path
// from GetModuleFileNameA.

#include "platform/ui.h"

#include <string>
#include <vector>
#include <windows.h>

namespace shotstamp::ui {

class Win32Toolkit final : public Toolkit {
public:
    // application receives the commands that no window handles (the Help command).
    Win32Toolkit(HINSTANCE instance, Application& application);

    int runModal(Dialog& dialog) override;
    IconHandle loadIcon(int resourceId) override;
    std::string loadString(int resourceId) override;
    bool showHelp(unsigned command, unsigned data) override;
    std::string helpFilePath() const override;
    std::string programPath() const override;

    Application& application() const { return application_; }
    // The dialog procedure reports each modal run's window once it exists.
    void windowCreated(HWND window);

private:
    HINSTANCE instance_;
    Application& application_;
    std::string programPath_;
    std::string helpFilePath_;
    // Windows of the modal runs in progress, innermost last: the owner of the next run and of
    // the help window.
    std::vector<HWND> running_;
};

// The program's command-line text, cut from the process command line.
std::string processCommandLineText();

// The help file of a program file: its extension replaced by ".CHM" (appended when it has
// none).
std::string helpPathFor(const std::string& programPath);

} // namespace shotstamp::ui
