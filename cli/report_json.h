#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace shotstamp::cli {

// What the JSON Lines report says about one file. Its own small type, so that the report does
// not follow every change of the rename step's outcome; the command maps one to the other.
struct FileReport {
    std::string_view oldPath;
    bool hasNewPath = false;     // false: "new_path" is null (the file kept its name)
    std::string_view newPath;    // when hasNewPath
    std::string_view outcome;    // "renamed", "copied", "kept", "would rename", ...
    std::string_view reason;     // why it was kept ("name exists"); empty gives null
    std::string_view dateSource; // the field the date came from ("DateTimeOriginal"); empty: null
    // Files that moved with it: (old path, new path).
    std::span<const std::pair<std::string, std::string>> companions;
    // What else the report says of it: "day only, from the file name", a disagreement warning.
    std::span<const std::string> notes{};
};

// Appends one JSON object and a newline to `out`:
// {"old_path":…,"new_path":…|null,"outcome":…,"reason":…|null,"date_source":…|null,
//  "companions":[{"old_path":…,"new_path":…},…],"notes":[…]}
// Paths that are not valid UTF-8 keep each byte's value (see appendJsonString).
void appendJsonLine(std::string& out, const FileReport& report);

} // namespace shotstamp::cli
