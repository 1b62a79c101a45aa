#pragma once

// The date options the commands share: `--date-from`, `--zone` and `--video-time`, read into the
// date chain's settings, and what the chain needs to know about one file read from disk.

#include "capture/date_inputs.h"
#include "options.h"

#include <span>
#include <string>
#include <vector>

namespace shotstamp::cli {

// The option specifications, for a command's own list.
inline constexpr OptionSpec kDateFromOption{"--date-from", true};
inline constexpr OptionSpec kZoneOption{"--zone", true};
inline constexpr OptionSpec kVideoTimeOption{"--video-time", true};

// Reads the date options among `options` (the last of each wins) into `settings`, with the
// system's local zone and the clock's present moment. False with the reason in `error` for a
// value that is none of the allowed ones.
bool readDateOptions(std::span<const ParsedOption> options, capture::DateSettings& settings,
                     std::string& error);

// The chain's inputs for a file at `path` whose metadata was extracted: its name, its
// modification time and the first sidecar .xmp found beside it (at most a bounded part).
capture::DateInputs dateInputsForFile(const std::string& path, const ExtractedMetadata& found,
                                      bool videoTimeLocal);

} // namespace shotstamp::cli
