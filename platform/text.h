#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The few code-page aware text steps the core needs. Texts are byte strings in the system's
// code page; a search must never mistake the trailing byte of a two-byte character for an ASCII
// character such as a backslash, a colon or a dot.
namespace shotstamp::text {

// True when `byte` starts a two-byte character of the system's code page.
bool isLeadByte(unsigned char byte);

// True when the system's code page is UTF-8 (always on Linux; on Windows when the ANSI code page
// is set to it). Otherwise each byte from 0x80 up is a character of a legacy code page, or the
// first byte of a two-byte one.
bool codePageIsUtf8();

// Lower-cases the text in place by the code page's case rules.
void lowerInPlace(std::string& text);

// The text with only the ASCII letters A-Z lower-cased: for names and extensions compared
// without regard to case, where the code page plays no part.
std::string lowerAscii(std::string_view text);

// The text in single quotes for a POSIX shell (or GLib's command-line parser), each quote inside
// written as '\''.
std::string singleQuoted(std::string_view text);

// Bytes taken by the character that starts at `position` (1 or 2; 1 for a lead byte at the end).
inline std::size_t characterLength(std::string_view text, std::size_t position) {
    return isLeadByte(static_cast<unsigned char>(text[position])) && position + 1 < text.size() ? 2
                                                                                                : 1;
}

// The first occurrence of `needle` that starts on a character boundary at or after `from`, or
// npos.
std::size_t findWhole(std::string_view text, std::string_view needle, std::size_t from = 0);

// The last single-byte character `c` of the text, stepping over whole characters, or npos.
std::size_t findLastWhole(std::string_view text, char c);

// Whether the text ends in ".jpg" in any letter case, the dot starting a whole character.
bool endsWithJpg(std::string_view text);

} // namespace shotstamp::text
