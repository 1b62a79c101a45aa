#include "platform/text.h"

namespace shotstamp::text {

std::size_t findWhole(std::string_view text, std::string_view needle, std::size_t from) {
    for (std::size_t at = from; at < text.size(); at += characterLength(text, at)) {
        if (text.size() - at < needle.size()) {
            break;
        }
        if (text.compare(at, needle.size(), needle) == 0) {
            return at;
        }
    }
    return std::string_view::npos;
}

std::size_t findLastWhole(std::string_view text, char c) {
    std::size_t found = std::string_view::npos;
    for (std::size_t at = 0; at < text.size(); at += characterLength(text, at)) {
        if (text[at] == c) {
            found = at;
        }
    }
    return found;
}

bool endsWithJpg(std::string_view text) {
    if (text.size() < 4) {
        return false;
    }
    const std::size_t start = text.size() - 4;
    // The suffix must begin on a character boundary.
    std::size_t at = 0;
    while (at < start) {
        at += characterLength(text, at);
    }
    if (at != start) {
        return false;
    }
    return lowerAscii(text.substr(start)) == ".jpg";
}

std::string singleQuoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return out;
}

} // namespace shotstamp::text
