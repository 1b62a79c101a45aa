#include "date_options.h"

#include "platform/files.h"
#include "platform/local_zone.h"
#include "rename/file_system.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace shotstamp::cli {

namespace {

// The file's modification time in seconds since 1970, when the system gives one.
std::optional<std::int64_t> modificationTime(const std::string& path) {
    std::error_code failure;
    const auto written = std::filesystem::last_write_time(std::filesystem::path(path), failure);
    if (failure) {
        return std::nullopt;
    }
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

// A sidecar's text, cut at the bound; empty when there is none.
std::string readSidecar(const std::string& path) {
    for (const std::string& candidate : capture::sidecarPaths(path)) {
        std::string message;
        const FileHandle file(files::openForReading(candidate, message));
        if (!file) {
            continue;
        }
        std::string text(capture::kMaxSidecarBytes, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), file.get()));
        return text;
    }
    return {};
}

} // namespace

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
    return capture::dateInputsFor(found, capture::fileNameOf(path), modificationTime(path),
                                  readSidecar(path), videoTimeLocal);
}

} // namespace shotstamp::cli
