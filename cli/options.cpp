#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

namespace shotstamp::cli {

namespace {

// An empty value as the parser is given it: it would take the next argument for "--name=".
// No argument can hold a NUL, so this text cannot be a real value.
constexpr std::string_view kEmpty("\0", 1);

const OptionSpec* findOption(std::span<const OptionSpec> known, std::string_view name) {
    const auto found = std::find_if(known.begin(), known.end(),
                                    [&](const OptionSpec& option) { return option.name == name; });
    return found == known.end() ? nullptr : &*found;
}

// The arguments as the parser is given them: "--name VALUE" of an option that takes a value
// becomes "--name=VALUE", so that a value starting with a dash ("--shift -01:00") stays a value.
// Empty when an option that wants a value ends the line; `missing` then names it.
std::vector<std::string> joinValues(int argc, char** argv, std::span<const OptionSpec> known,
                                    std::string& missing) {
    std::vector<std::string> joined;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            joined.insert(joined.end(), argv + i, argv + argc);
            break;
        }
        const std::size_t equals = arg.find('=');
        const OptionSpec* option = findOption(known, arg.substr(0, equals));
        if (option == nullptr || !option->takesValue) {
            joined.emplace_back(arg);
            continue;
        }
        if (equals == std::string_view::npos && i + 1 >= argc) {
            missing = arg;
            return {};
        }
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view(argv[++i]) : arg.substr(equals + 1);
        joined.push_back(std::string(option->name) + "=" +
                         std::string(value.empty() ? kEmpty : value));
    }
    return joined;
}

// The first argument of `args` that looks like an option none of `known` names.
std::string firstUnknown(const std::vector<std::string>& args, std::span<const OptionSpec> known) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg.size() >= 2 && arg[0] == '-' && arg != "--help" && arg != "-h" &&
            findOption(known, std::string_view(arg).substr(0, arg.find('='))) == nullptr) {
            return arg;
        }
    }
    return {};
}

} // namespace

ParsedArguments parseOptions(int argc, char** argv, std::span<const OptionSpec> known) {
    ParsedArguments parsed;
    std::string missing;
    std::vector<std::string> args = joinValues(argc, argv, known, missing);
    if (!missing.empty()) {
        parsed.status = OptionsStatus::usageError;
        parsed.error = missing + " needs a value";
        return parsed;
    }
    if (const std::string unknown = firstUnknown(args, known); !unknown.empty()) {
        parsed.status = OptionsStatus::usageError;
        parsed.error = "unknown option '" + unknown + "'";
        return parsed;
    }

    CLI::App app;
    app.set_help_flag(); // the usage texts are the commands' own
    bool help = false;
    app.add_flag("-h,--help", help);
    std::vector<std::vector<std::string>> values(known.size());
    std::vector<bool> flags(known.size());
    std::vector<CLI::Option*> added;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const std::string name(known[i].name);
        if (known[i].takesValue) {
            // One value per use: what follows is an operand or another option.
            added.push_back(app.add_option(name, values[i])->allow_extra_args(false));
        } else {
            added.push_back(app.add_flag_callback(name, [&flags, i] { flags[i] = true; }));
        }
    }
    std::vector<std::string> operands;
    app.add_option("operands", operands);
    std::reverse(args.begin(), args.end()); // the parser takes the arguments last first
    try {
        app.parse(args);
    } catch (const CLI::ParseError& error) {
        parsed.status = OptionsStatus::usageError;
        parsed.error = error.what();
        return parsed;
    }
    if (help) {
        parsed.status = OptionsStatus::help;
        return parsed;
    }
    for (std::size_t i = 0; i < known.size(); ++i) {
        for (std::string& value : values[i]) {
            parsed.options.push_back({known[i].name, value == kEmpty ? std::string() : value});
        }
        if (flags[i]) {
            parsed.options.push_back({known[i].name, {}});
        }
    }

    // The operands to the end of argv in their order; the same pointers, so nothing is copied.
    parsed.firstOperand = argc - static_cast<int>(operands.size());
    std::vector<char*> rest;
    for (int i = 0, taken = 0; i < argc && taken < static_cast<int>(operands.size()); ++i) {
        if (argv[i] == operands[static_cast<std::size_t>(taken)]) {
            // Not every equal text is the operand, but equal texts are interchangeable.
            rest.push_back(argv[i]);
            ++taken;
        }
    }
    std::vector<char*> others;
    for (int i = 0; i < argc; ++i) {
        if (std::find(rest.begin(), rest.end(), argv[i]) == rest.end()) {
            others.push_back(argv[i]);
        }
    }
    std::copy(others.begin(), others.end(), argv);
    std::copy(rest.begin(), rest.end(), argv + others.size());
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
