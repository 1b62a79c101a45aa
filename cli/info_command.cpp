#include "info_command.h"

#include "capture/zone.h"
#include "date_options.h"
#include "json_writer.h"
#include "metadata/containers/container.h"
#include "options.h"
#include "platform/random_file.h"
#include "reader_messages.h"
#include "rename/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace shotstamp::cli {

namespace {

constexpr const char* kUsage =
    "usage: shotstamp-cli info [--json] [--date-from SOURCE,...] [--zone ZONE]\n"
    "                          [--video-time local] [--] FILE...\n"
    "\n"
    "Reads each JPEG file up to the start of its scan and prints the picture record:\n"
    "image size, camera, exposure settings, DateTimeOriginal, comment and thumbnail.\n"
    "For every file it also prints the container its content shows (JPEG, HEIC, AVIF,\n"
    "CR3, MP4, MOV, ...) and its capture time: the date and time as written, the\n"
    "sub-seconds, the UTC offset when known, whether the time is UTC, and the field it\n"
    "came from. Files of another kind than JPEG get only these and the reader's message.\n"
    "\n"
    "  --json   one JSON object per file and line (JSON Lines). Keys: \"file\",\n"
    "           \"readSections\", \"errorText\", every record field by name, \"sections\"\n"
    "           ([{\"marker\",\"length\"}] of the kept segments) and \"thumbnailOffset\"\n"
    "           (offset inside the TIFF block, or null). \"thumbnailData\" holds the\n"
    "           thumbnail's first bytes in hex, or null. Bytes that are not valid UTF-8\n"
    "           appear as \\u00XX escapes of the byte; floats that are not finite as null.\n"
    "           \"container\" and \"captureTime\" ({\"dateTime\", \"hasTime\", \"subseconds\",\n"
    "           \"offset\", \"isUtc\", \"field\"}, or null) end every object; files of\n"
    "           another kind hold \"file\", \"container\", \"captureTime\", \"message\".\n"
    "           \"dates\" ends every object: {\"candidates\": [{\"source\", \"field\",\n"
    "           \"value\", \"precision\", \"zone\", \"origin\", \"ignored\"}], \"chosen\"\n"
    "           (index, or null), \"value\" (the chosen date in the zone asked for, or\n"
    "           null), \"why\", \"warnings\"}.\n"
    "  --date-from SOURCE,...  the sources tried in order, the first usable one wins:\n"
    "           exif, digitized, gps, xmp, name, modified, mtime (default: exif).\n"
    "           Every candidate is listed whatever the order names.\n"
    "  --zone local|utc|+HH:MM  the zone a time known in UTC or with its offset is\n"
    "           given in (default: local, and times written with an offset stay so)\n"
    "  --video-time local  a video header's time is local time, not UTC\n"
    "  --help   print this text\n"
    "\n"
    "Messages of the reader go to standard error. Exit status: 0 when every file could be\n"
    "read, 1 when a file could not be opened or read, 2 for a usage error.\n";

// A text field up to its terminator, never beyond its array.
template <std::size_t N> std::string_view textOf(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') {
        ++n;
    }
    return {field, n};
}

// Calls `visit(name, value)` for every record field in declaration order. Text fields arrive as
// string_view, whole numbers as int32, the others as float, bool or the thumbnail pointer.
template <class Visit> void visitRecord(const PictureRecord& r, Visit&& visit) {
    visit("exifVersion", textOf(r.exifVersion));
    visit("make", textOf(r.make));
    visit("model", textOf(r.model));
    visit("dateTimeOriginal", textOf(r.dateTimeOriginal));
    visit("pixelHeight", r.pixelHeight);
    visit("pixelWidth", r.pixelWidth);
    visit("orientation", r.orientation);
    visit("threeComponents", r.threeComponents);
    visit("frameMarker", r.frameMarker);
    visit("flashFired", r.flashFired);
    visit("focalLength", r.focalLength);
    visit("exposureTime", r.exposureTime);
    visit("fNumber", r.fNumber);
    visit("subjectDistance", r.subjectDistance);
    visit("sensorWidth", r.sensorWidth);
    visit("exposureBias", r.exposureBias);
    visit("lightSource", r.lightSource);
    visit("meteringMode", r.meteringMode);
    visit("exposureProgram", r.exposureProgram);
    visit("isoSpeed", r.isoSpeed);
    visit("compressedBitsPerPixel", r.compressedBitsPerPixel);
    visit("focalPlaneXResolution", r.focalPlaneXResolution);
    visit("focalPlaneYResolution", r.focalPlaneYResolution);
    visit("focalPlaneUnitInches", r.focalPlaneUnitInches);
    visit("xResolution", r.xResolution);
    visit("yResolution", r.yResolution);
    visit("resolutionUnitInches", r.resolutionUnitInches);
    visit("brightness", r.brightness);
    visit("comment", textOf(r.comment));
    visit("thumbnailData", r.thumbnailData);
    visit("thumbnailLength", r.thumbnailLength);
    visit("exifPresent", r.exifPresent);
    visit("subSecTimeOriginal", textOf(r.subSecTimeOriginal));
}

// The thumbnail's first bytes in hex: enough to see whether it starts like a JPEG.
std::string thumbnailPrefix(const PictureRecord& r) {
    constexpr std::int32_t kShown = 4;
    std::string hex;
    const std::int32_t n = r.thumbnailLength < kShown ? r.thumbnailLength : kShown;
    for (std::int32_t i = 0; i < n; ++i) {
        char buffer[3];
        std::snprintf(buffer, sizeof buffer, "%02x", r.thumbnailData[i]);
        hex += buffer;
    }
    return hex;
}

struct JsonField {
    JsonWriter& json;
    const PictureRecord& record;
    void operator()(const char* name, std::string_view text) const {
        json.key(name);
        json.string(text);
    }
    void operator()(const char* name, std::int32_t value) const {
        json.key(name);
        json.integer(value);
    }
    void operator()(const char* name, float value) const {
        json.key(name);
        json.number(value);
    }
    void operator()(const char* name, bool value) const {
        json.key(name);
        json.boolean(value);
    }
    void operator()(const char* name, const std::uint8_t* pointer) const {
        json.key(name);
        if (pointer == nullptr) {
            json.null();
        } else {
            json.string(thumbnailPrefix(record));
        }
    }
};

// Listing values: texts quoted and escaped like JSON strings so that control bytes stay visible.
struct ListingField {
    std::string& out;
    const PictureRecord& record;
    void line(const char* name, const std::string& value) const {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "  %-24s", name);
        out += buffer;
        out += value;
        out += '\n';
    }
    void operator()(const char* name, std::string_view text) const {
        std::string quoted;
        appendJsonString(quoted, text);
        line(name, quoted);
    }
    void operator()(const char* name, std::int32_t value) const {
        line(name, std::to_string(value));
    }
    void operator()(const char* name, float value) const {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
        line(name, buffer);
    }
    void operator()(const char* name, bool value) const { line(name, value ? "true" : "false"); }
    void operator()(const char* name, const std::uint8_t* pointer) const {
        line(name, pointer == nullptr ? std::string("none") : thumbnailPrefix(record) + "...");
    }
};

// "2022:01:15 10:20:30" as EXIF writes it; the time part only when known.
std::string dateTimeText(const CaptureTime& t) {
    char buffer[32];
    if (t.hasTime) {
        std::snprintf(buffer, sizeof buffer, "%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d:%02d:%02d", t.year, t.month, t.day);
    }
    return buffer;
}

std::string offsetText(const CaptureTime& t) {
    const int minutes = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", t.offsetMinutes < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return buffer;
}

void writeCaptureJson(JsonWriter& json, const ExtractedMetadata& found) {
    json.key("container");
    json.string(found.content.name);
    json.key("captureTime");
    const CaptureTime& t = found.capture;
    if (!t.found()) {
        json.null();
        return;
    }
    json.beginObject();
    json.key("dateTime");
    json.string(dateTimeText(t));
    json.key("hasTime");
    json.boolean(t.hasTime);
    json.key("subseconds");
    json.string(t.subseconds);
    json.key("offset");
    if (t.hasOffset) {
        json.string(offsetText(t));
    } else {
        json.null();
    }
    json.key("isUtc");
    json.boolean(t.isUtc);
    json.key("field");
    json.string(dateFieldName(t.field));
    json.endObject();
}

void writeDatesJson(JsonWriter& json, const capture::DateChoice& dates) {
    json.key("dates");
    json.beginObject();
    json.key("candidates");
    json.beginArray();
    for (const capture::Candidate& c : dates.candidates) {
        json.beginObject();
        json.key("source");
        json.string(capture::dateSourceName(c.source));
        json.key("field");
        json.string(dateFieldName(c.time.field));
        json.key("value");
        json.string(capture::formatTime(c.time));
        json.key("precision");
        json.string(capture::precisionName(c.precision));
        json.key("zone");
        json.string(capture::zoneText(c.time));
        json.key("origin");
        json.string(c.origin);
        json.key("ignored");
        if (c.ignored.empty()) {
            json.null();
        } else {
            json.string(c.ignored);
        }
        json.endObject();
    }
    json.endArray();
    json.key("chosen");
    if (dates.found()) {
        json.integer(dates.chosen);
    } else {
        json.null();
    }
    json.key("value");
    if (dates.found()) {
        json.string(capture::formatTime(dates.value) + ' ' + capture::zoneText(dates.value));
    } else {
        json.null();
    }
    json.key("why");
    json.string(dates.why);
    json.key("warnings");
    json.beginArray();
    for (const std::string& warning : dates.warnings) {
        json.string(warning);
    }
    json.endArray();
    json.endObject();
}

// "2022:01:15 10:20:30.762 +01:00 (DateTimeOriginal)", "UTC" in place of an offset for a time
// that is UTC, "none" when nothing was found.
std::string captureListing(const CaptureTime& t) {
    if (!t.found()) {
        return "none";
    }
    std::string text = dateTimeText(t);
    if (!t.subseconds.empty()) {
        text += '.' + t.subseconds;
    }
    if (t.isUtc) {
        text += " UTC";
    } else if (t.hasOffset) {
        text += ' ' + offsetText(t);
    }
    return text + " (" + dateFieldName(t.field) + ')';
}

void listCapture(const ListingField& field, const ExtractedMetadata& found) {
    field.line("container", found.content.name);
    field.line("captureTime", captureListing(found.capture));
}

// One line per candidate (the ignored ones with their reason), then the pick, why and warnings.
void listDates(const ListingField& field, const capture::DateChoice& dates) {
    for (std::size_t i = 0; i < dates.candidates.size(); ++i) {
        const capture::Candidate& c = dates.candidates[i];
        std::string text =
            std::string(capture::dateSourceName(c.source)) + ": " + capture::describe(c);
        if (!c.ignored.empty()) {
            text += " -- ignored: " + c.ignored;
        }
        field.line(("date[" + std::to_string(i) + "]").c_str(), text);
    }
    field.line("dateChosen", dates.found() ? "date[" + std::to_string(dates.chosen) + "] " +
                                                 capture::formatTime(dates.value) + ' ' +
                                                 capture::zoneText(dates.value)
                                           : std::string("none"));
    field.line("dateWhy", dates.why);
    for (const std::string& warning : dates.warnings) {
        field.line("dateWarning", warning);
    }
}

// The capture time a JPEG's record holds, by the same rule as every other container.
ExtractedMetadata jpegMetadata(const PictureReader& reader, ExifDateTexts texts,
                               std::string xmpPacket) {
    ExtractedMetadata found;
    found.content = identifyContent(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("\xFF\xD8"), 2));
    found.container = found.content.kind;
    const PictureRecord& r = reader.record();
    if (r.exifPresent) {
        // The reader filled the date texts; the record's fields stand in for what it left empty.
        if (texts.original.empty()) {
            texts.original = std::string(textOf(r.dateTimeOriginal));
        }
        if (texts.originalSubseconds.empty()) {
            texts.originalSubseconds = std::string(textOf(r.subSecTimeOriginal));
        }
        found.exif = texts;
        found.exifFound = true;
        captureFromExifTexts(texts, found);
    }
    found.xmpPacket = std::move(xmpPacket);
    return found;
}

capture::DateChoice chooseDates(const char* path, const ExtractedMetadata& found,
                                const capture::DateSettings& settings) {
    return capture::chooseDate(
        capture::gatherCandidates(dateInputsForFile(path, found, settings.videoTimeLocal)),
        settings.rules);
}

// A file of another kind than JPEG: only what the container walk found.
bool reportContainer(const char* path, std::FILE* file, bool json,
                     const capture::DateSettings& settings) {
    files::FileRandomSource source(file);
    nameFileBeingRead(path);
    const ExtractedMetadata found = extractMetadata(source);
    nameFileBeingRead({});
    if (source.failed()) {
        std::fprintf(stderr, "shotstamp-cli: cannot read '%s': %s\n", path, std::strerror(errno));
        return false;
    }
    const capture::DateChoice dates = chooseDates(path, found, settings);
    const std::string report = json ? describeMetadataAsJson(path, found, &dates) + '\n'
                                    : describeMetadataAsListing(path, found, &dates);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return true;
}

// Reads one file and prints its report; false when the file could not be opened or read.
bool reportFile(const char* path, bool json, const capture::DateSettings& settings) {
    // The rename path's opening: only regular files, so a pipe or device named *.jpg cannot
    // block the command.
    std::string message;
    const FileHandle file(files::openForReading(path, message));
    if (!file) {
        std::fprintf(stderr, "shotstamp-cli: cannot open '%s': %s\n", path, message.c_str());
        return false;
    }
    // The kind of file from its first bytes; a JPEG, and a file of no known kind, go on to the
    // picture reader as before.
    std::uint8_t head[64];
    const std::size_t headSize = std::fread(head, 1, sizeof head, file.get());
    const ContentType content = identifyContent(std::span<const std::uint8_t>(head, headSize));
    if (content.kind != ContainerKind::jpeg && content.kind != ContainerKind::unknown) {
        return reportContainer(path, file.get(), json, settings);
    }
    std::rewind(file.get());
    nameFileBeingRead(path);
    PictureReader reader;
    ExifDateTexts dateTexts;
    std::string xmpPacket;
    reader.setDateTexts(&dateTexts);
    reader.setXmpPacket(&xmpPacket);
    const bool result = reader.readSections(file.get());
    nameFileBeingRead({});
    if (std::ferror(file.get()) != 0) {
        // A file on a failing disk, for one.
        std::fprintf(stderr, "shotstamp-cli: cannot read '%s': %s\n", path, std::strerror(errno));
        return false;
    }
    ExtractedMetadata found = jpegMetadata(reader, dateTexts, std::move(xmpPacket));
    if (content.kind == ContainerKind::unknown) {
        found.content = content;
        found.container = content.kind;
    }
    const capture::DateChoice dates = chooseDates(path, found, settings);
    const std::string report = json ? describeAsJson(path, reader, result, found, &dates) + '\n'
                                    : describeAsListing(path, reader, result, found, &dates);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return true;
}

} // namespace

std::string describeAsJson(std::string_view file, const PictureReader& reader, bool readResult,
                           const ExtractedMetadata& found, const capture::DateChoice* dates) {
    JsonWriter json;
    json.beginObject();
    json.key("file");
    json.string(file);
    json.key("readSections");
    json.boolean(readResult);
    json.key("errorText");
    json.string(reader.errorText());
    visitRecord(reader.record(), JsonField{json, reader.record()});
    json.key("sections");
    json.beginArray();
    for (int i = 0; i < reader.sectionCount(); ++i) {
        json.beginObject();
        json.key("marker");
        json.integer(reader.section(i).marker);
        json.key("length");
        json.integer(reader.section(i).length);
        json.endObject();
    }
    json.endArray();
    json.key("thumbnailOffset");
    if (reader.thumbnailOffset() < 0) {
        json.null();
    } else {
        json.integer(reader.thumbnailOffset());
    }
    writeCaptureJson(json, found);
    if (dates != nullptr) {
        writeDatesJson(json, *dates);
    }
    json.endObject();
    return json.text();
}

std::string describeMetadataAsJson(std::string_view file, const ExtractedMetadata& found,
                                   const capture::DateChoice* dates) {
    JsonWriter json;
    json.beginObject();
    json.key("file");
    json.string(file);
    writeCaptureJson(json, found);
    json.key("message");
    json.string(found.message);
    if (dates != nullptr) {
        writeDatesJson(json, *dates);
    }
    json.endObject();
    return json.text();
}

std::string describeMetadataAsListing(std::string_view file, const ExtractedMetadata& found,
                                      const capture::DateChoice* dates) {
    std::string out(file);
    out += '\n';
    const PictureRecord noRecord{};
    const ListingField field{out, noRecord};
    listCapture(field, found);
    field("message", std::string_view(found.message));
    if (dates != nullptr) {
        listDates(field, *dates);
    }
    out += '\n';
    return out;
}

std::string describeAsListing(std::string_view file, const PictureReader& reader, bool readResult,
                              const ExtractedMetadata& found, const capture::DateChoice* dates) {
    std::string out(file);
    out += '\n';
    const ListingField field{out, reader.record()};
    field("readSections", readResult);
    field("errorText", std::string_view(reader.errorText()));
    visitRecord(reader.record(), field);
    std::string sections;
    for (int i = 0; i < reader.sectionCount(); ++i) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s%02X:%d", i == 0 ? "" : " ",
                      static_cast<unsigned>(reader.section(i).marker), reader.section(i).length);
        sections += buffer;
    }
    field.line("sections", sections);
    const std::int64_t offset = reader.thumbnailOffset();
    field.line("thumbnailOffset", offset < 0 ? std::string("none") : std::to_string(offset));
    listCapture(field, found);
    if (dates != nullptr) {
        listDates(field, *dates);
    }
    out += '\n';
    return out;
}

int runInfo(int argc, char** argv) {
    static constexpr OptionSpec kOptions[] = {
        {"--json"}, kDateFromOption, kZoneOption, kVideoTimeOption};
    ParsedArguments parsed;
    if (const auto status = parseCommand(argc, argv, {"info", kUsage, kOptions}, parsed)) {
        return *status;
    }
    const bool json = std::any_of(parsed.options.begin(), parsed.options.end(),
                                  [](const ParsedOption& o) { return o.name == "--json"; });
    capture::DateSettings settings;
    std::string error;
    if (!readDateOptions(parsed.options, settings, error)) {
        std::fprintf(stderr, "shotstamp-cli info: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    const int first = parsed.firstOperand;
    // Keep standard output for the reports: the reader's console lines go to standard error.
    sendReaderMessagesToStandardError();
    bool allRead = true;
    for (int i = first; i < argc; ++i) {
        allRead = reportFile(argv[i], json, settings) && allRead;
    }
    std::fflush(stdout);
    return allRead ? 0 : 1;
}

} // namespace shotstamp::cli
