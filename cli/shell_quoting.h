#pragma once

#include <string>
#include <string_view>

// One command-line word written the way the users of each system's shell read and type it.
// A word that needs no quotes comes back unchanged.
namespace shotstamp::cli {

// sh, bash, zsh: single quotes; a single quote inside is written '\''.
std::string posixQuoted(std::string_view word);

// cmd.exe and the Windows C runtime: double quotes around a word with blanks or characters cmd
// treats specially; a double quote inside, and the backslashes before it or before the closing
// quote, are escaped with backslashes as the runtime reads them back.
std::string windowsQuoted(std::string_view word);

// The quoting of the system the program runs on.
std::string shellQuoted(std::string_view word);

} // namespace shotstamp::cli
