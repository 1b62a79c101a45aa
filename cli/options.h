#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::cli {

struct OptionSpec {
    std::string_view name; // "--json"
    bool takesValue = false;
};

struct ParsedOption {
    std::string_view name;
    std::string_view value;
};

enum class OptionsStatus { ok, help, usageError };

struct ParsedArguments {
    OptionsStatus status = OptionsStatus::ok;
    std::vector<ParsedOption> options;
    int firstOperand = 0;
    std::string error; // for usageError
};

// Reads the options in front of the operands. "--" ends them, so names that start with a dash
// can be given; "--name VALUE" and "--name=VALUE" both give a value; "--help" or "-h" asks for
// the usage text. An argument that does not start with a dash, "-" alone included, is the first
// operand.
ParsedArguments parseOptions(int argc, char** argv, std::span<const OptionSpec> known);

struct CommandSyntax {
    std::string_view name; // "rename"
    const char* usage;
    std::span<const OptionSpec> options;
};

// Parses a command's arguments and answers what ends it at once: "--help" prints the usage
// (status 0); an unknown option or no operand prints "shotstamp-cli NAME: ERROR" and the usage on
// standard error (status 2). Returns that status, or nothing when the command goes on with
// `parsed`, which then names at least one operand.
std::optional<int> parseCommand(int argc, char** argv, const CommandSyntax& syntax,
                                ParsedArguments& parsed);

} // namespace shotstamp::cli
