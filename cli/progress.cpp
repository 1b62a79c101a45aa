#include "progress.h"

#include "platform/terminal.h"

#include <algorithm>

namespace shotstamp::cli {

namespace {

void appendDuration(std::string& out, double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    if (whole < 60) {
        out += std::to_string(whole);
        out += " s";
    } else if (whole < 3600) {
        out += std::to_string(whole / 60);
        out += " min ";
        out += std::to_string(whole % 60);
        out += " s";
    } else {
        out += std::to_string(whole / 3600);
        out += " h ";
        out += std::to_string(whole % 3600 / 60);
        out += " min";
    }
}

} // namespace

ProgressLine::ProgressLine(std::FILE* out, bool shown, std::size_t total, Clock clock)
    : out_(out), shown_(shown), total_(total), clock_(std::move(clock)), start_(clock_()) {}

bool ProgressLine::wantedOnStandardError(bool quiet) {
    return !quiet && terminal::standardErrorIsTerminal();
}

std::string ProgressLine::format(std::size_t done, std::size_t total, std::size_t renamed,
                                 std::size_t kept, double seconds) {
    std::string line = std::to_string(done);
    if (total > 0) {
        line += '/';
        line += std::to_string(total);
    }
    line += " files, ";
    line += std::to_string(renamed);
    line += " renamed, ";
    line += std::to_string(kept);
    line += " kept";
    if (seconds > 0 && done > 0) {
        const double rate = static_cast<double>(done) / seconds;
        line += ", ";
        line += std::to_string(static_cast<long>(rate + 0.5));
        line += " files/s";
        if (total > done) {
            line += ", ";
            appendDuration(line, static_cast<double>(total - done) / rate);
            line += " left";
        }
    }
    return line;
}

void ProgressLine::onFile(bool renamed) {
    ++(renamed ? renamed_ : kept_);
    if (!shown_) {
        return;
    }
    const auto now = clock_();
    if (now - start_ < kFirstDrawAfter || (drawnOnce_ && now - lastDraw_ < kRedrawEvery)) {
        return;
    }
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = format(renamed_ + kept_, total_, renamed_, kept_, seconds);
    // Spaces cover what a longer line before left on screen; no terminal control codes are
    // needed, so a Windows console shows it as well.
    const std::size_t width = line.size();
    line.append(visible_ > width ? visible_ - width : 0, ' ');
    std::fputc('\r', out_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    visible_ = std::max(width, std::size_t{1});
    lastDraw_ = now;
    drawnOnce_ = true;
}

void ProgressLine::erase() {
    if (visible_ == 0) {
        return;
    }
    std::string blank(visible_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    std::fwrite(blank.data(), 1, blank.size(), out_);
    std::fflush(out_);
    visible_ = 0;
}

void RunSummary::kept(std::string_view reason) {
    ++kept_;
    const auto known = std::find_if(reasons_.begin(), reasons_.end(),
                                    [&](const auto& entry) { return entry.first == reason; });
    if (known != reasons_.end()) {
        ++known->second;
    } else {
        reasons_.emplace_back(reason, 1);
    }
}

std::string RunSummary::line() const {
    std::string out = std::to_string(renamed_);
    out += ' ';
    out += doneWord_;
    out += ", ";
    out += std::to_string(kept_);
    out += " kept";
    if (!reasons_.empty()) {
        // The commonest reason first; equal counts in the order they were first met.
        auto sorted = reasons_;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        out += " (";
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            out += i > 0 ? ", " : "";
            out += std::to_string(sorted[i].second);
            out += ' ';
            out += sorted[i].first;
        }
        out += ")";
    }
    return out;
}

} // namespace shotstamp::cli
