#include "platform/terminal.h"

#include <unistd.h>

namespace shotstamp::terminal {

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace shotstamp::terminal
