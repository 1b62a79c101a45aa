#include "platform/console.h"

#include <atomic>
#include <cstdio>
#include <windows.h>

namespace shotstamp::console {

namespace {

// The code page to give back from the control handler, which runs on a thread of its own.
std::atomic<UINT> restoreOnSignal{0};

bool isConsole(DWORD which) {
    DWORD mode = 0;
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetConsoleMode(handle, &mode) != 0;
}

// Ctrl+C, Ctrl+Break or the console closing end the process without running destructors: the
// console, which outlives the program, gets its code page back first. Returning FALSE lets the
// next handler (the system's, which ends the process) run.
BOOL WINAPI restoreCodePage(DWORD) {
    if (const UINT previous = restoreOnSignal.exchange(0); previous != 0) {
        SetConsoleOutputCP(previous);
    }
    return FALSE;
}

} // namespace

ProgramCodePage::ProgramCodePage() {
    if (!isConsole(STD_OUTPUT_HANDLE) && !isConsole(STD_ERROR_HANDLE)) {
        return;
    }
    const UINT current = GetConsoleOutputCP();
    const UINT program = GetACP();
    if (current == 0 || current == program) {
        return;
    }
    restoreOnSignal.store(current);
    SetConsoleCtrlHandler(&restoreCodePage, TRUE);
    if (SetConsoleOutputCP(program) == 0) {
        // The console refused the code page: there is nothing to give back.
        restoreOnSignal.store(0);
        SetConsoleCtrlHandler(&restoreCodePage, FALSE);
        return;
    }
    previous_ = current;
}

ProgramCodePage::~ProgramCodePage() {
    if (previous_ == 0) {
        return;
    }
    // Bytes still in the C runtime's buffers are written in the program's code page.
    std::fflush(stdout);
    std::fflush(stderr);
    if (restoreOnSignal.exchange(0) != 0) {
        SetConsoleOutputCP(previous_);
    }
    SetConsoleCtrlHandler(&restoreCodePage, FALSE);
}

} // namespace shotstamp::console
