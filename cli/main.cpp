// shotstamp-cli: the picture core without a window, one command per first argument.
#include "info_command.h"
#include "journal_commands.h"
#include "platform/console.h"
#include "rename_command.h"

#include <cstdio>
#include <string_view>

namespace {

struct Command {
    std::string_view name;
    const char* summary;
    int (*run)(int argc, char** argv); // receives the arguments after the command's name
};

constexpr Command kCommands[] = {
    {"info", "print the metadata the picture reader finds in JPEG files", &shotstamp::cli::runInfo},
    {"rename", "rename JPEG pictures after the date they were taken", &shotstamp::cli::runRename},
    {"undo", "revert the last rename run, or a named one", &shotstamp::cli::runUndo},
    {"history", "list the rename runs that can be undone", &shotstamp::cli::runHistory},
};

void printUsage(std::FILE* out) {
    std::fputs("usage: shotstamp-cli COMMAND [ARGUMENT]...\n\ncommands:\n", out);
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %-10.*s %s\n", static_cast<int>(command.name.size()),
                     command.name.data(), command.summary);
    }
    std::fputs("\n'shotstamp-cli COMMAND --help' describes a command.\n", out);
}

} // namespace

int main(int argc, char** argv) {
    // File names are in the system's code page; a Windows console must read them in it too.
    const shotstamp::console::ProgramCodePage codePage;
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (command.name == name) {
            return command.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "shotstamp-cli: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}
