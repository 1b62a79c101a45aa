#include "json_writer.h"

#include "platform/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace shotstamp::cli {

namespace {

void appendEscapedByte(std::string& out, unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
    out += buffer;
}

// Length of the valid UTF-8 sequence starting at `i`, or 0 when the byte there starts none.
// Rejects overlong forms, surrogates and code points above U+10FFFF.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byteAt(i);
    std::size_t n = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() - i < n) {
        return 0;
    }
    // Only the second byte has a narrowed range; the others are plain continuation bytes.
    if (byteAt(i + 1) < low || byteAt(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (byteAt(i + k) < 0x80 || byteAt(i + k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

// Bytes of the legacy code page's character at `i`: two for a lead byte and the second byte of
// a two-byte character (never below 0x40 in Windows' code pages), else one, so that a control
// byte after a stray lead byte is still seen as a control.
std::size_t legacyCharacterLength(std::string_view s, std::size_t i) {
    return text::characterLength(s, i) == 2 && static_cast<unsigned char>(s[i + 1]) >= 0x40 ? 2 : 1;
}

} // namespace

void appendJsonString(std::string& out, std::string_view bytes) {
    out += '"';
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    appendEscapedByte(out, c);
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        const std::size_t n = utf8SequenceLength(bytes, i);
        if (n == 0) {
            appendEscapedByte(out, c);
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    out += '"';
}

void appendReportName(std::string& out, std::string_view bytes, bool escapeBackslash) {
    const bool utf8 = text::codePageIsUtf8();
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = c < 0x80 ? 1
                              : utf8   ? utf8SequenceLength(bytes, i)
                                       : legacyCharacterLength(bytes, i);
        // C1 controls (U+0080 to U+009F) are escaped byte by byte like the C0 ones.
        const bool control =
            c < 0x20 || c == 0x7F ||
            (utf8 && c == 0xC2 && n == 2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0);
        if (n == 0 || control) {
            for (std::size_t k = 0; k < (n == 0 ? 1 : n); ++k) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\x%02X",
                              static_cast<unsigned>(static_cast<unsigned char>(bytes[i + k])));
                out += buffer;
            }
            i += n == 0 ? 1 : n;
        } else if (c == '\\' && escapeBackslash) {
            out += "\\\\";
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasItems_.empty()) {
        if (hasItems_.back()) {
            out_ += ',';
        }
        hasItems_.back() = true;
    }
}

void JsonWriter::beginObject() {
    beforeValue();
    out_ += '{';
    hasItems_.push_back(false);
}

void JsonWriter::endObject() {
    hasItems_.pop_back();
    out_ += '}';
}

void JsonWriter::beginArray() {
    beforeValue();
    out_ += '[';
    hasItems_.push_back(false);
}

void JsonWriter::endArray() {
    hasItems_.pop_back();
    out_ += ']';
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    appendJsonString(out_, name);
    out_ += ':';
    afterKey_ = true;
}

void JsonWriter::string(std::string_view bytes) {
    beforeValue();
    appendJsonString(out_, bytes);
}

void JsonWriter::integer(std::int64_t value) {
    beforeValue();
    out_ += std::to_string(value);
}

void JsonWriter::number(float value) {
    beforeValue();
    if (!std::isfinite(value)) {
        out_ += "null";
        return;
    }
    // Nine significant digits always read back as the same float; fewer often suffice.
    char buffer[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(buffer, nullptr) == value) {
            break;
        }
    }
    out_ += buffer;
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    out_ += "null";
}

} // namespace shotstamp::cli
