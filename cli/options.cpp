#include "options.h"

#include <cstdio>

namespace shotstamp::cli {

ParsedArguments parseOptions(int argc, char** argv, std::span<const OptionSpec> known) {
    ParsedArguments parsed;
    int i = 0;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.status = OptionsStatus::help;
            return parsed;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const OptionSpec* match = nullptr;
        for (const OptionSpec& candidate : known) {
            if (candidate.name == name) {
                match = &candidate;
            }
        }
        if (match == nullptr || (!match->takesValue && equals != std::string_view::npos)) {
            parsed.status = OptionsStatus::usageError;
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
        std::string_view value;
        if (match->takesValue) {
            if (equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                parsed.status = OptionsStatus::usageError;
                parsed.error = std::string(name) + " needs a value";
                return parsed;
            }
        }
        parsed.options.push_back({match->name, value});
    }
    parsed.firstOperand = i;
    return parsed;
}

int reportUsageError(std::string_view command, std::string_view error, const char* usage) {
    std::fprintf(stderr, "shotstamp-cli %.*s: %.*s\n%s", static_cast<int>(command.size()),
                 command.data(), static_cast<int>(error.size()), error.data(), usage);
    return 2;
}

} // namespace shotstamp::cli
