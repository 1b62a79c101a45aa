#pragma once

// The small layer that stands in for a desktop framework: an application base, a modal dialog
// base with a command table (message map), data exchange for text fields and the standard
// OK/cancel handling. The dialog logic in app/ is written once against it; a back end
// (platform/gtk, platform/win32, platform/scripted) implements Toolkit and DialogHost and calls
// the Dialog::on... entry points as its window receives events.
//
// Routing that every back end must follow (the dialog manager's rules):
//   - a button click sends onCommand(id, kButtonClicked);
//   - Enter sends the command of the push button that has the focus, else of the default
//     button (DialogTemplate::defaultButtonId), as a click;
//   - Escape, and a close request (window manager close, Alt+F4, WM_CLOSE), send
//     onCommand(kIdCancel, kButtonClicked);
//   - a system command (WM_SYSCOMMAND) goes to onSystemCommand; DialogHost::defaultSystemCommand
//     is the default handling, where the close command becomes the cancel command above.
// Nothing here throws; errors are boolean results.

#include "platform/dialog_template.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::ui {

// The platform's standard command ids.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdHelp = 9;
// Notification code of a button click.
inline constexpr int kButtonClicked = 0;
// The application-level Help command.
inline constexpr int kIdHelpCommand = 0xE146;
// System commands: the About entry; the low four bits belong to the platform.
inline constexpr unsigned kSysCommandAbout = 0x0010;
inline constexpr unsigned kSysCommandMask = 0xFFF0;
inline constexpr unsigned kSysCommandClose = 0xF060;
// HTML help command that shows the topic with a context number.
inline constexpr unsigned kHelpContext = 0x000F;

// An icon loaded by the back end; opaque to the core (HICON on Windows, GdkPixbuf* on GTK).
// Resource icons are shared: nobody destroys them.
struct IconHandle {
    void* native = nullptr;
    explicit operator bool() const { return native != nullptr; }
};

struct PixelSize {
    int width = 0;
    int height = 0;
};

enum class Exchange { load, save };

class DialogHost;

// One pass of data exchange between a dialog's controls and its members.
class DataExchange {
public:
    DataExchange(DialogHost& host, Exchange direction) : host_(host), direction_(direction) {}
    Exchange direction() const { return direction_; }
    bool saving() const { return direction_ == Exchange::save; }
    // Binds a text control to a string member: save copies the control's whole text into the
    // member unchanged, load puts the member into the control.
    void text(int controlId, std::string& member);

private:
    DialogHost& host_;
    Exchange direction_;
};

// A live window of one dialog, provided by the back end for the length of its modal run.
class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual std::string controlText(int controlId) const = 0;
    virtual void setControlText(int controlId, std::string_view text) = 0;
    // Ends the modal run with this result once the running handler returns.
    virtual void endDialog(int result) = 0;

    // The window menu (system menu); false when the template gives none.
    virtual bool hasSystemMenu() const = 0;
    // Appends an entry; an empty text appends a separator.
    virtual void appendSystemMenu(unsigned command, std::string_view text) = 0;
    virtual void setIcon(IconHandle icon, bool big) = 0;
    // The default handling of a system command: move, minimise, close (which becomes the
    // cancel command), and so on.
    virtual void defaultSystemCommand(unsigned command, std::intptr_t lParam) = 0;

    // Painting.
    virtual bool isMinimised() const = 0;
    virtual void defaultPaint() = 0;
    virtual PixelSize clientSize() const = 0;
    virtual PixelSize iconSize() const = 0; // the system's large-icon size
    // Erases the minimised window's background and draws the icon with its top left at (x, y).
    virtual void drawMinimisedIcon(IconHandle icon, int x, int y) = 0;
};

class Dialog;

// The back end as a whole: modal runs, resources, help and the program's own location.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Creates the window from dialog.dialogTemplate(), calls dialog.onInitDialog, shows it and
    // runs until the dialog ends; returns the result it ended with. Application-modal: while it
    // runs, windows of earlier runs take no input. Returns -1 when no window could be made.
    virtual int runModal(Dialog& dialog) = 0;

    // Icon resource by id (the large-icon size); an empty handle when there is none.
    virtual IconHandle loadIcon(int resourceId) = 0;
    // String resource by id; empty when there is none.
    virtual std::string loadString(int resourceId) = 0;

    // Shows the application's help file at the topic given by command and data (kHelpContext,
    // context number). True when the help viewer was started.
    virtual bool showHelp(unsigned command, unsigned data) = 0;
    // The help file: the program file's path with ".CHM" on Windows, the HTML page found
    // relative to the program elsewhere.
    virtual std::string helpFilePath() const = 0;
    // Absolute path of the running program file.
    virtual std::string programPath() const = 0;
};

// A modal dialog. Derived classes fill the command table in their constructor and override the
// hooks below; everything else is the standard behaviour written here once.
class Dialog {
public:
    explicit Dialog(const DialogTemplate& dialogTemplate);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the result it ended with (kIdOk, kIdCancel, ...).
    int runModal(Toolkit& toolkit);

    const DialogTemplate& dialogTemplate() const { return template_; }
    // The window while the modal run lasts, else nullptr.
    DialogHost* host() const { return host_; }
    Toolkit* toolkit() const { return toolkit_; }

    // Entry points for the back end.
    // The window and its controls exist and are not yet shown. True: focus goes to the first
    // tab-stop control.
    bool onInitDialog(DialogHost& host);
    // A command from a control: the command table first, then kIdOk to onOk and kIdCancel to
    // onCancel; anything else is ignored. True when something handled it.
    bool onCommand(int id, int notification);
    void onSystemCommand(unsigned command, std::intptr_t lParam);
    void onPaint();
    IconHandle onQueryDragIcon();
    // The window is gone; the host must not be used any more.
    void onDestroy();

    // Moves data between controls and members; false when there is no window.
    bool updateData(bool save);
    void endDialog(int result);

protected:
    using CommandHandler = std::function<void()>;
    // Adds an entry to the command table; entries are searched in the order added.
    void addCommand(int id, int notification, CommandHandler handler);

    // Hooks, with the standard behaviour as their default.
    virtual void exchangeData(DataExchange& exchange);
    // Runs exchangeData in the load direction; returns true.
    virtual bool initialise();
    // Saves the data (updateData(true)) and ends with kIdOk.
    virtual void onOk();
    // Ends with kIdCancel.
    virtual void onCancel();
    // The default system-command handling of the window.
    virtual void handleSystemCommand(unsigned command, std::intptr_t lParam);
    // The standard dialog painting.
    virtual void paint();
    // The icon shown while the minimised window is dragged; none by default.
    virtual IconHandle queryDragIcon();

private:
    struct CommandEntry {
        int id;
        int notification;
        CommandHandler handler;
    };

    const DialogTemplate& template_;
    std::vector<CommandEntry> commands_;
    DialogHost* host_ = nullptr;
    Toolkit* toolkit_ = nullptr;
    bool running_ = false;
};

// The application base. One object per program; the back end's entry point (main or WinMain)
// makes the Toolkit and calls run.
class Application {
public:
    Application() = default;
    virtual ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Records the toolkit and the command-line text, runs the start-up step and returns the
    // process exit status (0: the system sets none of its own). When the start-up step asks
    // for a message loop, the toolkit has none to offer here, so it is not run.
    int run(Toolkit& toolkit, std::string commandLine, std::vector<std::string> arguments = {});

    // The command-line text: on Windows what follows the program name (commandLineText), on
    // Linux the arguments joined by single blanks (joinArguments).
    const std::string& commandLine() const { return commandLine_; }
    // The arguments as the process received them, without the program name (Linux; empty on
    // Windows, where only the text exists).
    const std::vector<std::string>& arguments() const { return arguments_; }
    Toolkit& toolkit() const { return *toolkit_; }
    std::string helpFilePath() const;
    std::string programPath() const;

    Dialog* mainWindow() const { return mainWindow_; }
    void setMainWindow(Dialog* window) { mainWindow_ = window; }

    // Application-level commands (reached when no window handles them); kIdHelpCommand goes
    // to onHelp. True when handled.
    bool onCommand(int id);
    // Shows the help file at context 1.
    virtual void onHelp();

protected:
    // The start-up step; true asks for a message loop.
    virtual bool initInstance() = 0;

private:
    Toolkit* toolkit_ = nullptr;
    std::string commandLine_;
    std::vector<std::string> arguments_;
    Dialog* mainWindow_ = nullptr;
};

// Command-line text from a whole process command line (Windows): the program name is cut off
// (a leading quoted run up to the next quote, else the run of characters above the blank),
// then every character 0x01..0x20 after it; trailing blanks stay.
std::string commandLineText(std::string_view processCommandLine);
// Command-line text from argv (without argv[0]): the arguments joined by single blanks.
std::string joinArguments(int argc, const char* const* argv);

} // namespace shotstamp::ui
