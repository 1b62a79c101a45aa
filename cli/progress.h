#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shotstamp::cli {

// The one status line of a long run: "files done/total, renamed, kept, rate, time left",
// redrawn in place on a terminal. It appears only once the run has lasted about a second, is
// redrawn at most a few times a second, and is erased before any other line is printed and at
// the end, so the report reads as if it had never been there.
class ProgressLine {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds kFirstDrawAfter{1000};
    static constexpr std::chrono::milliseconds kRedrawEvery{250};

    // `shown` is false for a pipe, a file or --quiet: then nothing is ever written. `total` is
    // the number of files the run will handle (0 when not known yet; see setTotal).
    ProgressLine(std::FILE* out, bool shown, std::size_t total, Clock clock = steadyNow);
    ~ProgressLine() { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether the line belongs on standard error: a terminal, and not --quiet.
    static bool wantedOnStandardError(bool quiet);

    void setTotal(std::size_t total) { total_ = total; }
    // One file handled; redraws the line when it is due.
    void onFile(bool renamed);
    // Call before printing anything else to the same terminal: takes the line away.
    void beforeOutput() { erase(); }
    // The run ended: the line goes for good.
    void finish() { erase(); }

    // The text of the line for these counts (without the carriage return).
    static std::string format(std::size_t done, std::size_t total, std::size_t renamed,
                              std::size_t kept, double seconds);

private:
    static std::chrono::steady_clock::time_point steadyNow() {
        return std::chrono::steady_clock::now();
    }
    void erase();

    std::FILE* out_;
    bool shown_;
    std::size_t total_;
    Clock clock_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool drawnOnce_ = false;
    std::size_t visible_ = 0; // characters of the line on screen now; 0 when erased
    std::size_t renamed_ = 0;
    std::size_t kept_ = 0;
};

// The closing line of every run: "12 renamed, 3 kept (2 name exists, 1 no date taken)".
class RunSummary {
public:
    // `doneWord` names what happened to the files that did not stay: "renamed" or "copied".
    explicit RunSummary(const char* doneWord = "renamed") : doneWord_(doneWord) {}
    void renamed() { ++renamed_; }
    void kept(std::string_view reason);
    std::string line() const;

private:
    const char* doneWord_;
    std::size_t renamed_ = 0;
    std::size_t kept_ = 0;
    std::vector<std::pair<std::string, std::size_t>> reasons_; // in the order first seen
};

} // namespace shotstamp::cli
