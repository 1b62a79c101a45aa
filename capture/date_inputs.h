#pragma once

// From what was read about one file (its extracted metadata, its name, its modification time
// and a sidecar beside it) to the inputs of the date chain. Pure: the caller reads the files.

#include "date_chain.h"
#include "metadata/containers/container.h"
#include "xmp_dates.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shotstamp::capture {

// The most of a sidecar .xmp that is read.
constexpr std::size_t kMaxSidecarBytes = kMaxXmpScanBytes;

// The date options of a command, read into the chain's rules and the one video setting.
struct DateSettings {
    DateRules rules;
    // `--video-time local`: a video header's time, stored as UTC, is taken as local time
    // (cameras that write their clock's reading there unconverted).
    bool videoTimeLocal = false;
};

// The paths a sidecar may have for a picture: "name.xmp" and "name.ext.xmp", in that order.
// None for a path without a file name.
std::vector<std::string> sidecarPaths(std::string_view path);

// The part of a path after its last separator ('/' or '\\').
std::string_view fileNameOf(std::string_view path);

// The chain's inputs. A container's own capture date that the EXIF texts do not already hold
// becomes an `exif` candidate; a video header's time is also a `digitized` one.
DateInputs dateInputsFor(const ExtractedMetadata& found, std::string_view fileName,
                         std::optional<std::int64_t> modificationTime, std::string sidecarXmp,
                         bool videoTimeLocal);

} // namespace shotstamp::capture
