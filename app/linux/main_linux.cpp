// The window program on Linux. The command-line text is the arguments joined by single blanks,
// so "/Install" and "/Uninstall" work only as the one argument; each argument is one path.

#include "app/shotstamp_app.h"
#include "platform/gtk/gtk_toolkit.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    static shotstamp::ShotstampApp app;
    shotstamp::ui::GtkToolkit toolkit;
    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* first = argc > 0 ? argv + 1 : argv;
    std::vector<std::string> arguments(first, first + count);
    app.run(toolkit, shotstamp::ui::joinArguments(count, first), std::move(arguments));
    if (app.mode() == shotstamp::StartMode::interactive && app.dialogResult() < 0) {
        // Windows always has a desktop; here there may be none.
        std::fprintf(stderr, "shotstamp: cannot open a window (is a display available?)\n");
        return 1;
    }
    return 0;
}
