#include "date_options.h"

#include "platform/local_zone.h"
#include "rename/file_system.h"
#include "rename/scan.h"

#include <chrono>

namespace shotstamp::cli {

bool readDateOptions(std::span<const ParsedOption> options, capture::DateSettings& settings,
                     std::string& error) {
    settings.rules.localOffset = &platform::localUtcOffsetAt;
    settings.rules.nowUtc = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    for (const ParsedOption& option : options) {
        std::string why;
        if (option.name == kDateFromOption.name) {
            if (!capture::parseDateSources(option.value, settings.rules.order, why)) {
                error = "--date-from '" + option.value + "': " + why;
                return false;
            }
        } else if (option.name == kZoneOption.name) {
            if (!capture::parseZone(option.value, settings.rules.zone, why)) {
                error = "--zone '" + option.value + "': " + why;
                return false;
            }
        } else if (option.name == kVideoTimeOption.name) {
            if (option.value != "local") {
                error = "--video-time '" + option.value +
                        "': the only value is 'local' (a video header's UTC time is local time)";
                return false;
            }
            settings.videoTimeLocal = true;
        }
    }
    return true;
}

capture::DateInputs dateInputsForFile(const std::string& path, const ExtractedMetadata& found,
                                      bool videoTimeLocal) {
    return capture::dateInputsFor(found, capture::fileNameOf(path),
                                  realFileSystem().modifiedSeconds(path),
                                  readSidecarXmp(path, realFileSystem()), videoTimeLocal);
}

} // namespace shotstamp::cli
