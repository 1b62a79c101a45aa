// Drives the status line the way a rename run does, on a clock that moves a set step per file,
// so that a test can run it under a real terminal and in a pipe.
//
// usage: progress_driver TOTAL STEP_MS [--quiet]
// Every tenth file is "kept" and reported on standard output; the others are "renamed" quietly.
#include "progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    using shotstamp::cli::ProgressLine;
    if (argc < 3) {
        std::fputs("usage: progress_driver TOTAL STEP_MS [--quiet]\n", stderr);
        return 2;
    }
    const auto total = static_cast<std::size_t>(std::atol(argv[1]));
    const std::chrono::milliseconds step(std::atol(argv[2]));
    const bool quiet = argc > 3 && std::strcmp(argv[3], "--quiet") == 0;
    std::chrono::steady_clock::time_point now{};
    ProgressLine progress(stderr, ProgressLine::wantedOnStandardError(quiet), total,
                          [&] { return now; });
    shotstamp::cli::RunSummary summary;
    for (std::size_t i = 1; i <= total; ++i) {
        now += step;
        const bool kept = i % 10 == 0;
        if (kept) {
            progress.beforeOutput();
            std::printf("kept: IMG_%zu.jpg (%s)\n", i, i % 20 == 0 ? "name exists" : "no date");
            std::fflush(stdout);
            summary.kept(i % 20 == 0 ? "name exists" : "no date");
        } else {
            summary.renamed();
        }
        progress.onFile(!kept);
    }
    progress.finish();
    std::printf("%s\n", summary.line().c_str());
    return 0;
}
