#pragma once

// A back end without a display, for unit tests: a test queues steps (type into a field, press
// Enter or Escape, click, send a close request or a system command) and reads afterwards what
// the dialogs did. Every modal run, nested ones included, takes its steps from the one queue and
// applies them to the innermost open window, as a user at the keyboard would.

#include "platform/ui.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace shotstamp::ui {

class ScriptedToolkit;

class ScriptedWindow final : public DialogHost {
public:
    ScriptedWindow(ScriptedToolkit& toolkit, Dialog& dialog);

    // What a user does.
    void type(int controlId, std::string_view text); // replaces the field's text
    void focus(int controlId);
    void click(int controlId);
    void pressEnter();
    void pressEscape();
    // Alt+F4 or the window manager's close: the system command to close.
    void requestClose();
    void sendSystemCommand(unsigned command);
    void paint();
    void minimise() { minimised_ = true; }
    void setClientSize(PixelSize size) { clientSize_ = size; }

    int focusedId() const { return focusedId_; }
    bool ended() const { return ended_; }
    int result() const { return result_; }
    Dialog& dialog() const { return dialog_; }

    // DialogHost
    std::string controlText(int controlId) const override;
    void setControlText(int controlId, std::string_view text) override;
    void endDialog(int result) override;
    bool hasSystemMenu() const override;
    void appendSystemMenu(unsigned command, std::string_view text) override;
    void setIcon(IconHandle icon, bool big) override;
    void defaultSystemCommand(unsigned command, std::intptr_t lParam) override;
    bool isMinimised() const override { return minimised_; }
    void defaultPaint() override;
    PixelSize clientSize() const override { return clientSize_; }
    PixelSize iconSize() const override { return {32, 32}; }
    void drawMinimisedIcon(IconHandle icon, int x, int y) override;

private:
    ScriptedToolkit& toolkit_;
    Dialog& dialog_;
    std::map<int, std::string> texts_;
    int focusedId_ = 0;
    bool ended_ = false;
    int result_ = 0;
    bool minimised_ = false;
    PixelSize clientSize_{};
};

// What the windows did, in order, for the test to read.
struct ScriptedRecord {
    struct Run {
        int templateId = 0;
        int result = 0;
        bool ended = false; // false: the script ran out before the dialog ended
    };
    struct MenuEntry {
        int templateId = 0;
        unsigned command = 0;
        std::string text;
    };
    struct IconSet {
        int templateId = 0;
        void* icon = nullptr;
        bool big = false;
    };
    struct Drawing {
        void* icon = nullptr;
        int x = 0;
        int y = 0;
    };
    std::vector<Run> runs;   // in the order the runs ended
    std::vector<int> opened; // template ids in the order the runs began
    std::vector<unsigned> defaultSystemCommands;
    std::vector<MenuEntry> menuEntries;
    std::vector<IconSet> iconsSet;
    std::vector<std::pair<unsigned, unsigned>> helpRequests; // (command, data)
    std::vector<Drawing> minimisedIcons;
    int defaultPaints = 0;
};

class ScriptedToolkit final : public Toolkit {
public:
    using Step = std::function<void(ScriptedWindow&)>;

    // Queues a step for whichever window is innermost when its turn comes.
    void then(Step step) { steps_.push_back(std::move(step)); }
    std::size_t pendingSteps() const { return steps_.size(); }

    ScriptedRecord record;
    std::map<int, std::string> strings; // string resources
    std::string program = "/opt/shotstamp/bin/shotstamp";
    std::string helpFile = "/opt/shotstamp/share/shotstamp/help/index.html";
    // Stands for the icon resource handle; its address is the handle.
    int iconResource = 128;
    // Called with every window as its run begins (after initialisation), e.g. to read its state.
    std::function<void(ScriptedWindow&)> onShown;

    int runModal(Dialog& dialog) override;
    IconHandle loadIcon(int resourceId) override;
    std::string loadString(int resourceId) override;
    bool showHelp(unsigned command, unsigned data) override;
    std::string helpFilePath() const override { return helpFile; }
    std::string programPath() const override { return program; }

private:
    std::deque<Step> steps_;
};

} // namespace shotstamp::ui
