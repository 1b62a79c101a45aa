#pragma once

// The name step: turns the moment a picture was taken and the picture's own facts into a new
// file name (--format) or a folder path (--into). Pure: it reads no file, asks no system and
// includes no platform header; whatever the platform decides arrives in `PathRules`.
//
// The template language. Every byte stands for itself except these fields:
//   %Y %m %d      year (four digits), month, day (two digits)
//   %H %M %S      hour, minute, second (two digits); empty when only the day is known
//   %f            the sub-second digits as written, empty when there are none; a "." written
//                 right before %f goes with them, so "%S.%f" gives "32.57" or just "32"
//   %z            the UTC offset as "+0200", empty when unknown
//   %n            the original name without its extension
//   %e            the extension chosen for the file, with its dot
//   %c            the counter: empty for the first try, then "-2", "-3", ...; a file-name
//                 template without %c gets it right before its last %e (or at its end)
//   %p            the name prefix
//   %%            a single "%"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::naming {

// What the platform says about paths; the caller fills it from the file layer.
struct PathRules {
    bool backslashSeparates = false; // "\" is a separator too (Windows)
    bool driveLetters = false;       // "C:\" and "\\server\share\" start absolute paths
    // Whether a byte may stand in a name (separators aside); null accepts every byte but NUL.
    bool (*nameByteAllowed)(unsigned char byte) = nullptr;
};

// The facts one name is made from. The text fields are views the caller keeps alive for the
// call to render().
struct NameFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::string_view subseconds; // digits only; empty when unknown
    bool hasOffset = false;
    int offsetMinutes = 0; // east of UTC, when hasOffset
    bool dayOnly = false;  // only the day is known: the time fields stay empty
    std::string_view stem;
    std::string_view extension; // with its dot, or empty
    int counter = 1;            // 1 is the first try and shows nothing
    std::string_view prefix;
};

enum class TemplateUse { fileName, folder };

// The result of one render: false `ok` with the reason in `error` when the text it made cannot
// be a name (a prefix or stem that brings a separator, a folder called "..").
struct Rendered {
    bool ok = false;
    bool timeLeftOut = false; // the date was day-only and the template asked for a time field
    std::string error;
};

// A template checked and compiled once, then rendered for every file.
class NameTemplate {
public:
    // The default of --format: today's name, "Trip 2005-12-30 205732.jpg".
    static constexpr std::string_view kDefaultFormat = "%p%Y-%m-%d %H%M%S%e";

    // False with the reason in `error` (a usage error for the command line): a file-name
    // template without a date field or with a separator; a folder template with an empty
    // folder name, "..", %c or %e; in either, an unknown field, a lone "%" at the end, or a
    // byte the platform refuses in names.
    bool compile(std::string_view text, TemplateUse use, const PathRules& rules,
                 std::string& error);

    // Writes the name (or folder path) into `out`, replacing what it held, so one buffer can
    // serve a whole run.
    Rendered render(const NameFields& fields, std::string& out) const;

    bool usesCounter() const { return usesCounter_; }
    // For a folder template: true when it names an absolute folder, false when it is relative
    // to the folder the file was found in.
    bool isAbsolute() const { return absolute_; }

private:
    enum class Op : std::uint8_t {
        literal,
        year,
        month,
        day,
        hour,
        minute,
        second,
        subseconds,
        dottedSubseconds,
        offset,
        stem,
        extension,
        counter,
        prefix,
    };
    struct Step {
        Op op = Op::literal;
        std::uint32_t start = 0; // literal: its bytes in text_
        std::uint32_t size = 0;
    };

    bool isSeparator(char c) const;
    bool checkRendered(std::string_view out, Rendered& result) const;

    std::string text_;
    std::vector<Step> steps_;
    TemplateUse use_ = TemplateUse::fileName;
    PathRules rules_;
    std::size_t rootSize_ = 0; // bytes of the absolute root ("/", "C:\", "\\server\share\")
    bool usesCounter_ = false;
    bool usesTime_ = false;
    bool absolute_ = false;
};

} // namespace shotstamp::naming
