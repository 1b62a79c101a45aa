#include "journal_commands.h"

#include "options.h"
#include "platform/files.h"
#include "rename/journal.h"
#include "shell_quoting.h"

#include <cstdio>
#include <string>

namespace shotstamp::cli {

namespace {

constexpr const char* kUndoUsage =
    "usage: shotstamp-cli undo [--dry-run] [RUN]\n"
    "\n"
    "Reverts the last run that renamed pictures (shotstamp-cli rename, or the window), or\n"
    "the run named RUN as 'shotstamp-cli history' lists it, last move first. A file that no\n"
    "longer carries the name the run gave it, or whose old name is taken now, is reported\n"
    "and left alone; the others are still reverted. Nothing is ever replaced. The undo is a\n"
    "run of its own, so it can be undone too.\n"
    "\n"
    "  --dry-run   change nothing; report what would happen\n"
    "  --help      print this text\n"
    "\n"
    "Prints \"reverted: NEW -> OLD\" or \"left: NEW (REASON)\" per move, then a count.\n"
    "Exit status: 0 when all was reverted, 1 when something was left or no run was found,\n"
    "2 for a usage error.\n";

constexpr const char* kHistoryUsage =
    "usage: shotstamp-cli history\n"
    "\n"
    "Lists the last runs that renamed pictures, oldest first: the run's name (for\n"
    "'shotstamp-cli undo RUN'), when it began, how many files it moved, the folder of its\n"
    "first move and how it was started.\n";

const char* undoReason(UndoKind kind) {
    switch (kind) {
    case UndoKind::reverted:
        return "reverted";
    case UndoKind::notAtNewName:
        return "no file has its new name any more";
    case UndoKind::oldNameTaken:
        return "its old name is taken";
    case UndoKind::refused:
        return "move refused";
    }
    return "unknown";
}

// Parses a command that may have no operand.
std::optional<int> parse(int argc, char** argv, const char* name, const char* usage,
                         std::span<const OptionSpec> known, int maxOperands,
                         ParsedArguments& parsed) {
    parsed = parseOptions(argc, argv, known);
    if (parsed.status == OptionsStatus::help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (parsed.status == OptionsStatus::ok && argc - parsed.firstOperand > maxOperands) {
        parsed.status = OptionsStatus::usageError;
        parsed.error = "too many arguments";
    }
    if (parsed.status == OptionsStatus::usageError) {
        std::fprintf(stderr, "shotstamp-cli %s: %s\n%s", name, parsed.error.c_str(), usage);
        return 2;
    }
    return std::nullopt;
}

} // namespace

int runUndo(int argc, char** argv) {
    static constexpr OptionSpec kOptions[] = {{"--dry-run"}};
    ParsedArguments parsed;
    if (const auto status = parse(argc, argv, "undo", kUndoUsage, kOptions, 1, parsed)) {
        return *status;
    }
    const bool dryRun = !parsed.options.empty();
    FileSystem& real = realFileSystem();
    const std::string folder = files::userStateFolder();
    const std::string name =
        parsed.firstOperand < argc ? argv[parsed.firstOperand] : lastUndoableRun(real, folder);
    JournalRun run;
    if (name.empty() || !readRun(real, folder, name, run)) {
        std::fprintf(stderr, "shotstamp-cli undo: %s\n",
                     name.empty() ? "no run to undo" : ("no run named '" + name + "'").c_str());
        return 1;
    }

    DryRunFileSystem dryRunFiles(real);
    RunJournal journal(folder, "shotstamp-cli undo " + name, name);
    int reverted = 0;
    int left = 0;
    undoRun(run, dryRun ? static_cast<FileSystem&>(dryRunFiles) : real, dryRun ? nullptr : &journal,
            [&](const UndoStep& step) {
                if (step.kind == UndoKind::reverted) {
                    ++reverted;
                    std::printf("reverted: %s -> %s\n", step.newPath.c_str(), step.oldPath.c_str());
                    return;
                }
                ++left;
                std::printf("left: %s (%s%s%s)\n", step.newPath.c_str(), undoReason(step.kind),
                            step.message.empty() ? "" : ": ", step.message.c_str());
            });
    std::printf("%d reverted, %d left\n", reverted, left);
    if (dryRun) {
        std::fputs("shotstamp-cli undo: dry run, nothing was changed\n", stderr);
    }
    std::fflush(stdout);
    return left == 0 ? 0 : 1;
}

int runHistory(int argc, char** argv) {
    ParsedArguments parsed;
    if (const auto status = parse(argc, argv, "history", kHistoryUsage, {}, 0, parsed)) {
        return *status;
    }
    FileSystem& real = realFileSystem();
    const std::string folder = files::userStateFolder();
    for (const std::string& name : listRuns(real, folder)) {
        JournalRun run;
        if (readRun(real, folder, name, run)) {
            std::printf("%s  %s  %zu moved  %s  %s\n", run.name.c_str(), run.time.c_str(),
                        run.movedCount(), shellQuoted(run.folder).c_str(), run.startedBy.c_str());
        }
    }
    std::fflush(stdout);
    return 0;
}

} // namespace shotstamp::cli
