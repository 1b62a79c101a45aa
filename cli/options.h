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
    std::string value;
};

enum class OptionsStatus { ok, help, usageError };

struct ParsedArguments {
    OptionsStatus status = OptionsStatus::ok;
    std::vector<ParsedOption> options; // in the order given
    // argv is reordered so that the operands come last, in the order given: argv[firstOperand]
    // up to argv[argc - 1].
    int firstOperand = 0;
    std::string error; // for usageError
};

// Reads a command's options wherever they stand among the operands. "--" ends them, so names
// that start with a dash can be given after it; "--name VALUE" and "--name=VALUE" both give a
// value, which may itself start with a dash; "--help" or "-h" asks for the usage text. "-" alone
// is an operand.
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
