// window_probe.exe: the Windows side of the GUI tests. Runs under Wine next to Shotstamp.exe and
// does what a test cannot do from outside: start a program with an exact command line, find its
// windows, compare their controls with the template data, press buttons and send messages.
//
//   run <timeout ms> <program> [command-line text]   start, wait; 0 ended, 3 still running (killed)
//   wait-window <caption> <timeout ms>               0 when a visible window has the caption
//   gone <caption> <timeout ms>                      0 when no window has the caption any more
//   layout <caption> <program>                       controls against the template; 0 when equal
//   click <caption> <control id>                     posts BM_CLICK to the control
//   message <caption> <message> <wParam>             posts a message to the window
//   text <caption> <control id>                      prints the control's text
//   iconic <caption>                                 0 when the window is minimised
//   focus <caption> <control id> <timeout ms>        0 once the window is in front and the
//                                                    control has the keyboard focus
//   link <path>                                      prints a shell link's target
//   send-to                                          prints the Send To folder, with a backslash
//   rect <caption>                                   prints the window's rectangle and its
//                                                    monitor's work area, in screen pixels
//                                                    (the probe is DPI-aware)

#include "res/dialog_templates.h"

#include <windows.h>
// The shell headers build on <windows.h>.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <shlobj.h>
#include <string>

namespace {

using shotstamp::ui::DialogTemplate;

HWND findWindow(const char* caption) {
    return FindWindowA(nullptr, caption);
}

HWND waitForWindow(const char* caption, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    do {
        const HWND window = findWindow(caption);
        if (window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        Sleep(50);
    } while (GetTickCount64() < end);
    return nullptr;
}

int run(DWORD timeoutMs, const std::string& program, const std::string& text) {
    std::string commandLine = "\"" + program + "\"";
    if (!text.empty()) {
        commandLine += " " + text;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::printf("cannot start %s (%lu)\n", program.c_str(), GetLastError());
        return 2;
    }
    const DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    int result = 0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        result = 3;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

RECT clientRectOf(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Asked of the window itself: GetWindowText on another process's edit field gives nothing.
std::string windowText(HWND window) {
    char text[512] = {};
    DWORD_PTR copied = 0;
    // Patient: the program may be busy a while (starting the help viewer).
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 30000, &copied);
    return std::string(text, copied < sizeof text ? copied : 0);
}

INT_PTR CALLBACK passiveProcedure(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The dialog base units of a template's font, measured by the dialog manager on a hidden copy
// of the program's own template made in this process (MapDialogRect works only on a window of
// the calling process). Zero when the template cannot be read.
shotstamp::ui::BaseUnits templateBaseUnits(const std::string& program, int dialogId) {
    shotstamp::ui::BaseUnits units{};
    const HMODULE module = LoadLibraryExA(
        program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found =
        module != nullptr ? FindResourceA(module, MAKEINTRESOURCEA(dialogId), RT_DIALOG) : nullptr;
    const void* bytes = found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
    // Style of an extended template: after version, signature, help id and extended style.
    constexpr std::size_t kStyleOffset = 12;
    if (bytes != nullptr && SizeofResource(module, found) > kStyleOffset + 4) {
        std::string copy(static_cast<const char*>(bytes), SizeofResource(module, found));
        DWORD style = 0;
        std::memcpy(&style, copy.data() + kStyleOffset, sizeof style);
        style &= ~static_cast<DWORD>(WS_VISIBLE);
        std::memcpy(copy.data() + kStyleOffset, &style, sizeof style);
        const HWND hidden = CreateDialogIndirectParamA(
            GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(copy.data()), nullptr,
            &passiveProcedure, 0);
        if (hidden != nullptr) {
            RECT r{0, 0, 4, 8};
            MapDialogRect(hidden, &r);
            units = {r.right, r.bottom};
            DestroyWindow(hidden);
        }
    }
    if (module != nullptr) {
        FreeLibrary(module);
    }
    return units;
}

RECT toPixels(const shotstamp::ui::DialogRect& r, shotstamp::ui::BaseUnits base) {
    const shotstamp::ui::PixelRect p = shotstamp::ui::dialogUnitsToPixels(r, base);
    return RECT{p.left, p.top, p.right, p.bottom};
}

// Compares the live window with its template: caption, system menu, taskbar style, client
// size, and each control's order, id, class, text, style and pixel rectangle, the rectangles
// converted with the template font's base units by the same arithmetic the GTK window uses.
int layout(HWND dialog, const DialogTemplate& expected, const std::string& program) {
    int mismatches = 0;
    const shotstamp::ui::BaseUnits base = templateBaseUnits(program, expected.id);
    std::printf("base units %d x %d\n", base.x, base.y);
    if (base.x == 0 || base.y == 0) {
        return 1;
    }

    RECT client{};
    GetClientRect(dialog, &client);
    const RECT expectedClient = toPixels({0, 0, expected.rect.width, expected.rect.height}, base);
    std::printf("client %ld x %ld, template %ld x %ld\n", client.right, client.bottom,
                expectedClient.right, expectedClient.bottom);
    if (client.right != expectedClient.right || client.bottom != expectedClient.bottom) {
        ++mismatches;
    }
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
    std::printf("window style %08lx ex %08lx caption '%s'\n", static_cast<unsigned long>(style),
                static_cast<unsigned long>(exStyle), windowText(dialog).c_str());
    if ((style & WS_SYSMENU) != (static_cast<LONG>(expected.style) & WS_SYSMENU) ||
        (exStyle & WS_EX_APPWINDOW) != (static_cast<LONG>(expected.exStyle) & WS_EX_APPWINDOW) ||
        windowText(dialog) != expected.caption) {
        ++mismatches;
    }

    HWND previous = nullptr;
    for (const auto& c : expected.controls) {
        // Controls in template order are the window's children in order (the tab order).
        const HWND control = GetWindow(previous == nullptr ? dialog : previous,
                                       previous == nullptr ? GW_CHILD : GW_HWNDNEXT);
        previous = control;
        if (control == nullptr || GetDlgCtrlID(control) != c.id) {
            std::printf("control %d: missing or out of order\n", c.id);
            ++mismatches;
            continue;
        }
        char className[64] = {};
        GetClassNameA(control, className, sizeof className);
        const char* expectedClass = c.controlClass == shotstamp::ui::ControlClass::edit ? "Edit"
                                    : c.controlClass == shotstamp::ui::ControlClass::button
                                        ? "Button"
                                        : "Static";
        const RECT want = toPixels(c.rect, base);
        const RECT got = clientRectOf(dialog, control);
        // An icon control takes the icon's own size; only its position is the template's.
        const bool placed = c.isIcon() ? got.left == want.left && got.top == want.top
                                       : EqualRect(&got, &want) != FALSE;
        // An icon control's text is the icon's resource id, not a text.
        const std::string text = c.isIcon() ? std::string() : windowText(control);
        const auto controlStyle = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_STYLE));
        // The dialog manager moves BS_DEFPUSHBUTTON with the focus, and draws an edit field's
        // border as a client edge (WS_BORDER becomes WS_EX_CLIENTEDGE); the other bits stay.
        const std::uint32_t stable = c.controlClass == shotstamp::ui::ControlClass::button
                                         ? ~shotstamp::ui::kStyleButtonTypeMask
                                     : c.controlClass == shotstamp::ui::ControlClass::edit
                                         ? ~shotstamp::ui::kStyleBorder
                                         : 0xFFFFFFFFu;
        const bool same = lstrcmpiA(className, expectedClass) == 0 && placed && text == c.text &&
                          (controlStyle & stable) == (c.style & stable);
        std::printf(
            "control %5d %-6s '%s' style %08lx at %ld,%ld-%ld,%ld template %ld,%ld-%ld,%ld %s\n",
            c.id, className, text.c_str(), static_cast<unsigned long>(controlStyle), got.left,
            got.top, got.right, got.bottom, want.left, want.top, want.right, want.bottom,
            same ? "ok" : "DIFFERS");
        if (!same) {
            ++mismatches;
        }
    }
    return mismatches == 0 ? 0 : 1;
}

std::string linkTarget(const std::string& path) {
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    std::string target;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return target;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::wstring wide(path.begin(), path.end());
        char text[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            target = text;
        }
        file->Release();
    }
    link->Release();
    return target;
}

void printRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& w = monitor.rcWork;
    std::printf("window %ld %ld %ld %ld work %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom,
                w.left, w.top, w.right, w.bottom);
}

int usage() {
    std::printf(
        "usage: window_probe run|wait-window|gone|layout|click|message|text|link|send-to ...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    SetProcessDPIAware();
    if (argc == 2 && std::string(argv[1]) == "send-to") {
        char folder[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_SENDTO, FALSE)) {
            return 1;
        }
        std::printf("%s\\\n", folder);
        return 0;
    }
    if (argc < 3) {
        return usage();
    }
    const std::string command = argv[1];
    if (command == "run" && argc >= 4) {
        return run(static_cast<DWORD>(std::atol(argv[2])), argv[3], argc >= 5 ? argv[4] : "");
    }
    if (command == "link") {
        std::printf("%s\n", linkTarget(argv[2]).c_str());
        return 0;
    }
    if (command == "wait-window" && argc >= 4) {
        return waitForWindow(argv[2], static_cast<DWORD>(std::atol(argv[3]))) != nullptr ? 0 : 1;
    }
    if (command == "gone" && argc >= 4) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::atol(argv[3]));
        while (findWindow(argv[2]) != nullptr) {
            if (GetTickCount64() >= end) {
                return 1;
            }
            Sleep(50);
        }
        return 0;
    }

    const HWND window = findWindow(argv[2]);
    if (window == nullptr) {
        std::printf("no window '%s'\n", argv[2]);
        return 1;
    }
    if (command == "layout") {
        const DialogTemplate* expected = windowText(window) == shotstamp::res::kMainDialog.caption
                                             ? &shotstamp::res::kMainDialog
                                             : &shotstamp::res::kAboutDialog;
        return argc >= 4 ? layout(window, *expected, argv[3]) : usage();
    }
    if (command == "click" && argc >= 4) {
        // A dialog is found by its caption as soon as it exists, a moment before its controls
        // do: wait a little for the button.
        HWND control = nullptr;
        for (int tries = 0; tries < 100 && control == nullptr; ++tries) {
            control = GetDlgItem(window, std::atoi(argv[3]));
            if (control == nullptr) {
                Sleep(50);
            }
        }
        return control != nullptr && PostMessageA(control, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (command == "message" && argc >= 5) {
        const UINT message = static_cast<UINT>(std::strtoul(argv[3], nullptr, 0));
        const WPARAM wParam = static_cast<WPARAM>(std::strtoull(argv[4], nullptr, 0));
        return PostMessageA(window, message, wParam, 0) ? 0 : 1;
    }
    if (command == "focus" && argc >= 5) {
        const HWND control = GetDlgItem(window, std::atoi(argv[3]));
        const DWORD thread = GetWindowThreadProcessId(window, nullptr);
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::atol(argv[4]));
        do {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            if (GetForegroundWindow() == window && GetGUIThreadInfo(thread, &info) &&
                info.hwndFocus == control) {
                return 0;
            }
            Sleep(50);
        } while (GetTickCount64() < end);
        return 1;
    }
    if (command == "rect") {
        printRect(window);
        return 0;
    }
    if (command == "iconic") {
        return IsIconic(window) ? 0 : 1;
    }
    if (command == "text" && argc >= 4) {
        std::printf("%s\n", windowText(GetDlgItem(window, std::atoi(argv[3]))).c_str());
        return 0;
    }
    return usage();
}
