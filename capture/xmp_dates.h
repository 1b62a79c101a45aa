#pragma once

// Dates in an XMP packet: exif:DateTimeOriginal, photoshop:DateCreated and xmp:CreateDate,
// written as attributes (name="value") or as elements (<name>value</name>). A small scanner of
// its own, bounded in what it reads; it is no XML parser and needs none for these three.

#include "candidate.h"

#include <string_view>
#include <vector>

namespace shotstamp::capture {

// The most of a packet or sidecar the scanner looks at.
constexpr std::size_t kMaxXmpScanBytes = 1 << 20;

// Reads an ISO 8601 date as XMP writes it: "YYYY-MM-DD", optionally followed by "THH:MM",
// ":SS", a fraction and a zone ("Z", "+HH:MM" or "+HHMM"). Sets `precision` from what is there.
bool parseXmpDate(std::string_view text, CaptureTime& time, Precision& precision);

// The packet's candidates, in the order the three names are listed above; `origin` names where
// the packet came from ("XMP packet", "sidecar .xmp"). The first readable value of a name wins.
std::vector<Candidate> xmpCandidates(std::string_view packet, const char* origin);

} // namespace shotstamp::capture
