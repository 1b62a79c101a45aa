// Shotstamp.exe: the one application object and the Windows entry point.

#include "app/shotstamp_app.h"
#include "platform/win32/ui_win32.h"

namespace {
// Static lifetime: made before start-up, destroyed at process exit.
shotstamp::ShotstampApp theApp;
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    shotstamp::ui::Win32Toolkit toolkit(instance, theApp);
    // The text is cut from the process command line here, not taken from the runtime's
    // argument, so quoting and blanks follow one rule on every runtime.
    return theApp.run(toolkit, shotstamp::ui::processCommandLineText());
}
