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
    auto lower = [](char ch) {
        return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    };
    return text[start] == '.' && lower(text[start + 1]) == 'j' && lower(text[start + 2]) == 'p' &&
           lower(text[start + 3]) == 'g';
}

} // namespace shotstamp::text
