#pragma once

// Whether the program's standard error is a terminal a person watches (a console on Windows),
// rather than a file or a pipe, so that a status line redrawn in place can be shown there.
namespace shotstamp::terminal {

bool standardErrorIsTerminal();

} // namespace shotstamp::terminal
