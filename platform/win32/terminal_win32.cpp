#include "platform/terminal.h"

#include <windows.h>

namespace shotstamp::terminal {

bool standardErrorIsTerminal() {
    // Only a console has a mode; a file or a pipe does not.
    DWORD mode = 0;
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetConsoleMode(handle, &mode) != 0;
}

} // namespace shotstamp::terminal
