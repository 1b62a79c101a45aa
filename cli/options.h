#pragma once

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

// Prints "shotstamp-cli COMMAND: ERROR" and the usage text on standard error; returns 2.
int reportUsageError(std::string_view command, std::string_view error, const char* usage);

} // namespace shotstamp::cli
