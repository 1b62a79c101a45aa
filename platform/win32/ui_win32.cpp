#include "platform/win32/ui_win32.h"

#include "platform/placement.h"

namespace shotstamp::ui {

namespace {

// The live window of one modal run; the dialog procedure finds it in DWLP_USER.
class Win32DialogHost final : public DialogHost {
public:
    Win32DialogHost(Win32Toolkit& toolkit, Dialog& dialog) : toolkit_(toolkit), dialog_(dialog) {}

    Win32Toolkit& toolkit() const { return toolkit_; }
    Dialog& dialog() const { return dialog_; }
    HWND window() const { return window_; }
    void attach(HWND window) { window_ = window; }

    // Set by whatever validates the window during WM_PAINT.
    bool painted = false;

    std::string controlText(int controlId) const override {
        const HWND control = GetDlgItem(window_, controlId);
        if (control == nullptr) {
            return {};
        }
        const int length = GetWindowTextLengthA(control);
        if (length <= 0) {
            return {};
        }
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        const int copied = GetWindowTextA(control, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
        return text;
    }

    void setControlText(int controlId, std::string_view text) override {
        const std::string terminated(text);
        SetDlgItemTextA(window_, controlId, terminated.c_str());
    }

    void endDialog(int result) override { EndDialog(window_, result); }

    bool hasSystemMenu() const override { return GetSystemMenu(window_, FALSE) != nullptr; }

    void appendSystemMenu(unsigned command, std::string_view text) override {
        const HMENU menu = GetSystemMenu(window_, FALSE);
        if (menu == nullptr) {
            return;
        }
        if (text.empty()) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            return;
        }
        const std::string terminated(text);
        AppendMenuA(menu, MF_STRING, command, terminated.c_str());
    }

    void setIcon(IconHandle icon, bool big) override {
        SendMessageA(window_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                     reinterpret_cast<LPARAM>(icon.native));
    }

    void defaultSystemCommand(unsigned command, std::intptr_t lParam) override {
        // The window procedure's default: SC_CLOSE becomes WM_CLOSE, which the dialog manager
        // turns into IDCANCEL.
        DefWindowProcA(window_, WM_SYSCOMMAND, command, lParam);
    }

    bool isMinimised() const override { return IsIconic(window_) != FALSE; }

    void defaultPaint() override {
        DefWindowProcA(window_, WM_PAINT, 0, 0);
        painted = true;
    }

    PixelSize clientSize() const override {
        RECT client{};
        GetClientRect(window_, &client);
        return {client.right - client.left, client.bottom - client.top};
    }

    PixelSize iconSize() const override {
        return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    }

    void drawMinimisedIcon(IconHandle icon, int x, int y) override {
        PAINTSTRUCT paint{};
        const HDC context = BeginPaint(window_, &paint);
        SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
        DrawIcon(context, x, y, static_cast<HICON>(icon.native));
        EndPaint(window_, &paint);
        painted = true;
    }

private:
    Win32Toolkit& toolkit_;
    Dialog& dialog_;
    HWND window_ = nullptr;
};

PixelRect pixelRect(const RECT& r) {
    return PixelRect{r.left, r.top, r.right, r.bottom};
}

// A window with an owner goes over its owner, on the owner's monitor; the main window goes in
// the middle of the monitor that holds the mouse pointer, where the user just chose the files.
// Either way it stays wholly on that monitor's work area (the screen less the taskbar).
void placeWindow(HWND window) {
    const HWND owner = GetWindow(window, GW_OWNER);
    HMONITOR monitor = nullptr;
    RECT centreOn{};
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
        monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
        GetWindowRect(owner, &centreOn);
    } else {
        POINT pointer{};
        GetCursorPos(&pointer);
        monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST);
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT outer{};
    if (!GetMonitorInfoA(monitor, &info) || !GetWindowRect(window, &outer)) {
        return;
    }
    if (IsRectEmpty(&centreOn)) {
        centreOn = info.rcWork;
    }
    // A move onto a monitor of another DPI makes the system rescale the dialog (per-monitor
    // awareness); the second pass centres it again at its new size.
    for (int pass = 0; pass < 2; ++pass) {
        const SIZE size{outer.right - outer.left, outer.bottom - outer.top};
        const PixelPoint at =
            placeCentred(size.cx, size.cy, pixelRect(centreOn), pixelRect(info.rcWork));
        SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (!GetWindowRect(window, &outer) ||
            (outer.right - outer.left == size.cx && outer.bottom - outer.top == size.cy)) {
            return;
        }
    }
}

// A command for the dialog: its own table and OK/cancel handling first, then the application
// (the Help command).
bool routeCommand(Win32DialogHost& host, int id, int notification) {
    if (host.dialog().onCommand(id, notification)) {
        return true;
    }
    return notification == kButtonClicked && host.toolkit().application().onCommand(id);
}

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* host = reinterpret_cast<Win32DialogHost*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        host->attach(window);
        host->toolkit().windowCreated(window);
        const bool focusFirst = host->dialog().onInitDialog(*host);
        // Still hidden: the dialog manager shows it once this message is answered.
        placeWindow(window);
        return focusFirst ? TRUE : FALSE;
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrA(window, DWLP_USER));
    if (host == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        return routeCommand(*host, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_HELP:
        // F1 asks for the application's Help command, as no window here handles it.
        return routeCommand(*host, kIdHelpCommand, kButtonClicked) ? TRUE : FALSE;
    case WM_SYSCOMMAND:
        host->dialog().onSystemCommand(static_cast<unsigned>(wParam), lParam);
        return TRUE;
    case WM_PAINT:
        host->painted = false;
        host->dialog().onPaint();
        if (!host->painted) {
            // Nothing painted: leave it to the dialog manager, or WM_PAINT would repeat.
            return FALSE;
        }
        return TRUE;
    case WM_QUERYDRAGICON:
        // One of the messages whose dialog-procedure result is the answer itself.
        return reinterpret_cast<INT_PTR>(host->dialog().onQueryDragIcon().native);
    case WM_DESTROY:
        host->dialog().onDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// HtmlHelpA from hhctrl.ocx, loaded on the first request like a framework would, so that the
// program starts where no help viewer is installed. The module stays loaded: the help window
// lives in this process.
HtmlHelpFunction htmlHelpEntry() {
    static const HtmlHelpFunction entry = []() -> HtmlHelpFunction {
        const HMODULE module = LoadLibraryA("hhctrl.ocx");
        if (module == nullptr) {
            return nullptr;
        }
        // Through void (*)(), the type that converts to any function pointer without a warning.
        return reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "HtmlHelpA")));
    }();
    return entry;
}

std::string moduleFileName(HINSTANCE instance) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : MAX_PATH);
}

} // namespace

std::string helpPathFor(const std::string& programPath) {
    const std::size_t dot = programPath.rfind('.');
    const std::size_t separator = programPath.find_last_of("\\/:");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        return programPath + ".CHM";
    }
    return programPath.substr(0, dot) + ".CHM";
}

std::string processCommandLineText() {
    const char* line = GetCommandLineA();
    return commandLineText(line != nullptr ? std::string_view(line) : std::string_view());
}

Win32Toolkit::Win32Toolkit(HINSTANCE instance, Application& application)
    : instance_(instance), application_(application), programPath_(moduleFileName(instance)),
      helpFilePath_(helpPathFor(programPath_)) {}

int Win32Toolkit::runModal(Dialog& dialog) {
    Win32DialogHost host(*this, dialog);
    // Owned by the innermost run in progress, which the dialog manager disables meanwhile.
    const HWND owner = running_.empty() ? nullptr : running_.back();
    const INT_PTR result =
        DialogBoxParamA(instance_, MAKEINTRESOURCEA(dialog.dialogTemplate().id), owner,
                        &dialogProcedure, reinterpret_cast<LPARAM>(&host));
    if (host.window() != nullptr) {
        running_.pop_back();
    }
    return result == -1 ? -1 : static_cast<int>(result);
}

void Win32Toolkit::windowCreated(HWND window) {
    running_.push_back(window);
}

IconHandle Win32Toolkit::loadIcon(int resourceId) {
    return IconHandle{LoadIconA(instance_, MAKEINTRESOURCEA(resourceId))};
}

std::string Win32Toolkit::loadString(int resourceId) {
    char text[256] = {};
    const int length = LoadStringA(instance_, static_cast<UINT>(resourceId), text, sizeof text);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool Win32Toolkit::showHelp(unsigned command, unsigned data) {
    const HWND owner = running_.empty() ? nullptr : running_.back();
    const HtmlHelpFunction htmlHelp = htmlHelpEntry();
    return htmlHelp != nullptr &&
           htmlHelp(owner, helpFilePath_.c_str(), command, static_cast<DWORD_PTR>(data)) != nullptr;
}

std::string Win32Toolkit::helpFilePath() const {
    return helpFilePath_;
}

std::string Win32Toolkit::programPath() const {
    return programPath_;
}

} // namespace shotstamp::ui
