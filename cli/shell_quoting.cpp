#include "shell_quoting.h"

#include "platform/text.h"

namespace shotstamp::cli {

std::string posixQuoted(std::string_view word) {
    if (!word.empty() &&
        word.find_first_of(" \t\n'\"\\$`*?[]{}()<>|&;!#~") == std::string_view::npos) {
        return std::string(word);
    }
    return text::singleQuoted(word);
}

std::string windowsQuoted(std::string_view word) {
    if (!word.empty() && word.find_first_of(" \t\n\"&|<>^()%!,;=") == std::string_view::npos) {
        return std::string(word);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        // A two-byte character of the code page goes whole: its second byte may be a backslash.
        if (text::characterLength(word, i) == 2) {
            quoted.append(backslashes, '\\');
            backslashes = 0;
            quoted += word.substr(i, 2);
            ++i;
            continue;
        }
        const char c = word[i];
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are plain characters except before a double quote.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string shellQuoted(std::string_view word) {
#ifdef _WIN32
    return windowsQuoted(word);
#else
    return posixQuoted(word);
#endif
}

} // namespace shotstamp::cli
