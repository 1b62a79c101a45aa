#pragma once

// Dates that cameras, phones, messengers and this program write into file names.

#include "candidate.h"

#include <span>
#include <string_view>

namespace shotstamp::capture {

// One naming convention. Inside braces of `pattern`, Y M D h m s stand for the digits of the
// year, month, day, hour, minute and second, f for a millisecond digit and # for any digit; every
// other character stands for itself, letters in either case. A name matches when it starts with
// the pattern, no digit follows it, and the digits form a real date and time.
struct NameRule {
    const char* pattern;
    const char* example;
    const char* meaning; // shown beside the date: what the name tells about the moment
    Precision precision;
    bool utc; // the time is UTC (else local time where it was taken)
};

// Every convention, longest first where one begins like another.
std::span<const NameRule> nameRules();

// The date the first matching convention reads from a file name (without its folder). False
// when none matches.
bool dateFromName(std::string_view fileName, Candidate& out);

} // namespace shotstamp::capture
