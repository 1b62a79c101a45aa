#pragma once

// The console the command-line program writes to. The program's texts (file names above all)
// are bytes in the system's code page; on Windows that is the ANSI code page, while a console
// shows bytes in its own output code page (often the OEM one), which turns "é" into another
// character. A file or a pipe takes the bytes as they are and needs nothing.
namespace shotstamp::console {

// While it lives, a console that standard output or standard error writes to reads the
// program's bytes in the program's code page; when it ends (or when the console's Ctrl+C or
// close event ends the program), the console gets its own code page back, after the program's
// output is flushed. Nothing happens when neither stream is a console, and on Linux, where the
// terminal reads the bytes as they are written.
class ProgramCodePage {
public:
    ProgramCodePage();
    ~ProgramCodePage();
    ProgramCodePage(const ProgramCodePage&) = delete;
    ProgramCodePage& operator=(const ProgramCodePage&) = delete;

private:
    // The console's output code page before, or 0 when left alone (always on Linux).
    [[maybe_unused]] unsigned previous_ = 0;
};

} // namespace shotstamp::console
