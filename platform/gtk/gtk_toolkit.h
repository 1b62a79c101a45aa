#pragma once

// The GTK 3 back end. Windows are laid out from the dialog templates: dialog units become
// pixels through the font's average character width and height, controls sit in a fixed
// layout on exactly those rectangles, and the window cannot be resized.
//
// For tests: when SHOTSTAMP_REPORT_MAPPED names a file (or "fd:N", an open descriptor such as
// a pipe), each window appends to it, once mapped and drawn,
//     mapped <template id> <milliseconds since the toolkit was made>
//     base <x> <y>                       dialog base units in pixels
//     client <width> <height>
//     control <index> <id> <x> <y> <width> <height>   one line per control, template order
//     end
// and each help request appends "help <uri>".

#include "platform/ui.h"

#include <cstdint>
#include <string>

namespace shotstamp::ui {

class GtkToolkit final : public Toolkit {
public:
    // GTK itself starts with the first window, so install and uninstall need no display.
    GtkToolkit();
    ~GtkToolkit() override;
    GtkToolkit(const GtkToolkit&) = delete;
    GtkToolkit& operator=(const GtkToolkit&) = delete;

    // False when no display could be opened (the first runModal then returns -1).
    bool start();

    int runModal(Dialog& dialog) override;
    IconHandle loadIcon(int resourceId) override;
    std::string loadString(int resourceId) override;
    bool showHelp(unsigned command, unsigned data) override;
    std::string helpFilePath() const override;
    std::string programPath() const override;

    // Appends a line to the report file, when one was asked for.
    void report(const std::string& line) const;
    std::int64_t startTime() const { return startTime_; }

private:
    bool started_ = false;
    bool startFailed_ = false;
    std::int64_t startTime_ = 0;
    std::string reportPath_;
    void* icon32_ = nullptr; // GdkPixbuf*, owned
    void* icon16_ = nullptr;
    void* openWindow_ = nullptr; // GtkWindow* of the innermost run, for transient parents
};

} // namespace shotstamp::ui
