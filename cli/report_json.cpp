#include "report_json.h"

#include "json_writer.h"

namespace shotstamp::cli {

namespace {

void stringOrNull(JsonWriter& json, bool present, std::string_view value) {
    if (present) {
        json.string(value);
    } else {
        json.null();
    }
}

} // namespace

void appendJsonLine(std::string& out, const FileReport& report) {
    JsonWriter json;
    json.beginObject();
    json.key("old_path");
    json.string(report.oldPath);
    json.key("new_path");
    stringOrNull(json, report.hasNewPath, report.newPath);
    json.key("outcome");
    json.string(report.outcome);
    json.key("reason");
    stringOrNull(json, !report.reason.empty(), report.reason);
    json.key("date_source");
    stringOrNull(json, !report.dateSource.empty(), report.dateSource);
    json.key("companions");
    json.beginArray();
    for (const auto& [from, to] : report.companions) {
        json.beginObject();
        json.key("old_path");
        json.string(from);
        json.key("new_path");
        json.string(to);
        json.endObject();
    }
    json.endArray();
    json.key("notes");
    json.beginArray();
    for (const std::string& note : report.notes) {
        json.string(note);
    }
    json.endArray();
    json.endObject();
    out += json.text();
    out += '\n';
}

} // namespace shotstamp::cli
