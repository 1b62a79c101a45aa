#pragma once

namespace shotstamp::cli {

// `undo [--dry-run] [RUN]`: reverts the last run that renamed something (or the named one),
// last move first, never replacing a file. Exit status 0 when every move was reverted, 1 when
// one was left alone or no run was found, 2 for a usage error.
int runUndo(int argc, char** argv);

// `history`: the kept runs, oldest first: name, time, moves made, folder, how it was started.
int runHistory(int argc, char** argv);

} // namespace shotstamp::cli
