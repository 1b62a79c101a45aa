#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::cli {

// Appends `bytes` to `out` as a JSON string literal. Valid UTF-8 passes through; every byte
// that is not part of a valid UTF-8 sequence becomes \u00XX, the code point of the same value,
// so the output is valid JSON for any input and keeps each byte's value.
void appendJsonString(std::string& out, std::string_view bytes);

// Appends a file name as a report line shows it, always on one line. Where the system's code page
// is UTF-8, valid UTF-8 passes through, and every control character or byte that is not part of
// a valid UTF-8 sequence becomes \xHH; in a legacy code page (Windows' ANSI one) its characters
// pass through whole and only the control characters become \xHH.
// With `escapeBackslash` (where a backslash is no path separator) a backslash becomes "\\", so
// that an escape can always be told from the name's own text.
void appendReportName(std::string& out, std::string_view bytes, bool escapeBackslash);

// Writes one JSON value (objects, arrays, scalars) into a string, inserting the commas.
class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    void string(std::string_view bytes);
    void integer(std::int64_t value);
    // Shortest text that reads back as the same single-precision value; null when not finite.
    void number(float value);
    void boolean(bool value);
    void null();

    const std::string& text() const { return out_; }

private:
    void beforeValue();

    std::string out_;
    std::vector<bool> hasItems_;
    bool afterKey_ = false;
};

} // namespace shotstamp::cli
