#pragma once

// The chain `--date-from` names: every candidate a file offers, which of them are implausible
// and why, and the first usable one in the order the user gave.

#include "candidate.h"
#include "zone.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shotstamp::capture {

// What the caller read about one file. Nothing here touches the file system.
struct DateInputs {
    ExifDateTexts exif;
    std::string xmpPacket;  // the packet inside the file, if any
    std::string sidecarXmp; // the contents of a sidecar .xmp beside it, if any
    std::string fileName;   // the name alone, without its folder
    std::optional<std::int64_t> modificationTime; // seconds since 1970, UTC
    // Dates a container reader found itself (a video's creation time, a PNG text), each tagged
    // with the source it answers to; they come before the EXIF ones of the same source.
    std::vector<Candidate> fromContainer;
};

// Every candidate, grouped by source in the order exif, digitized, gps, xmp, name, modified,
// mtime.
std::vector<Candidate> gatherCandidates(const DateInputs& inputs);

// Sets `ignored` on the candidates no source but `exif` may use: dates before 1990, more than a
// day after `nowUtc`, GPS dates of 1970 or 1980 (a receiver without a fix), and the clock
// defaults 2000-01-01 and 2001-01-01 00:00:00 while another source says something else.
void judgePlausibility(std::vector<Candidate>& candidates, std::int64_t nowUtc);

struct DateRules {
    std::vector<DateSource> order{DateSource::exif};
    ZoneSetting zone;
    LocalOffsetAt localOffset = nullptr; // the system's answer, or a test's fake zone
    std::int64_t nowUtc = 0;             // seconds since 1970, for the future check
};

struct DateChoice {
    std::vector<Candidate> candidates; // all of them, with the reasons some were set aside
    int chosen = -1;                   // index into `candidates`, -1 when none was usable
    CaptureTime value;                 // the chosen date, in the zone the rules ask for
    std::string why;                   // how the chain came to it, source by source
    std::vector<std::string> warnings; // dates that disagree by more than a day

    bool found() const { return chosen >= 0; }
    const Candidate* choice() const {
        return found() ? &candidates[static_cast<std::size_t>(chosen)] : nullptr;
    }
};

// Judges the candidates, then tries the sources in order; within a source the first usable
// candidate wins.
DateChoice chooseDate(std::vector<Candidate> candidates, const DateRules& rules);

// Only the warnings chooseDate gives, for a caller that has its date already: DateTimeOriginal
// against CreateDate and against a date in the file's name, when they differ by more than a day.
std::vector<std::string> disagreements(const DateInputs& inputs, std::int64_t nowUtc);

// "CreateDate 2023-01-02 10:11:12 (+01:00, second, EXIF)": one candidate as `info` lists it.
std::string describe(const Candidate& candidate);

} // namespace shotstamp::capture
