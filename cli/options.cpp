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

std::optional<int> parseCommand(int argc, char** argv, const CommandSyntax& syntax,
                                ParsedArguments& parsed) {
    parsed = parseOptions(argc, argv, syntax.options);
    if (parsed.status == OptionsStatus::help) {
        std::fputs(syntax.usage, stdout);
        return 0;
    }
    if (parsed.status == OptionsStatus::ok && parsed.firstOperand >= argc) {
        parsed.status = OptionsStatus::usageError;
        parsed.error = "no file given";
    }
    if (parsed.status == OptionsStatus::usageError) {
        std::fprintf(stderr, "shotstamp-cli %.*s: %s\n%s", static_cast<int>(syntax.name.size()),
                     syntax.name.data(), parsed.error.c_str(), syntax.usage);
        return 2;
    }
    return std::nullopt;
}

} // namespace shotstamp::cli
