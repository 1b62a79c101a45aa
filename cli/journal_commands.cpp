#include "journal_commands.h"

#include "options.h"
#include "platform/files.h"
#include "rename/journal.h"
#include "shell_quoting.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace shotstamp::cli {

namespace {

constexpr const char* kUndoUsage =
    "usage: shotstamp-cli undo [--dry-run] [--yes] [RUN]\n"
    "\n"
    "Reverts the last run that renamed pictures (shotstamp-cli rename, or the window), or\n"
    "the run named RUN as 'shotstamp-cli history' lists it, last move first. It first says\n"
    "which run it undoes. A file is moved back only when it is the very file the run moved;\n"
    "one that no longer carries the name the run gave it, is another file now, or whose old\n"
    "name is taken, is reported and left alone; the others are still reverted. Nothing is\n"
    "ever replaced. A copy the run made is deleted only while it is still the copy as made;\n"
    "a folder the run made is removed once it is empty again, never another folder. The\n"
    "undo is a run of its own, so it can be undone too.\n"
    "\n"
    "  --dry-run   change nothing; report what would happen\n"
    "  --yes       undo the last run although it was made in another folder\n"
    "  --help      print this text\n"
    "\n"
    "Prints \"reverted: NEW -> OLD\", \"deleted copy: NEW\", \"removed folder: FOLDER\" or\n"
    "\"left: NEW (REASON)\" per step, then a count.\n"
    "Exit status: 0 when all was reverted, 1 when something was left or no run was found,\n"
    "2 for a usage error.\n";

constexpr const char* kHistoryUsage =
    "usage: shotstamp-cli history\n"
    "\n"
    "Lists the last runs that renamed pictures, oldest first: the run's name (for\n"
    "'shotstamp-cli undo RUN'), when it began, how many files it moved, the folder of its\n"
    "first move and how it was started; copies and folders made, where a run has them.\n";

const char* undoReason(UndoKind kind) {
    switch (kind) {
    case UndoKind::reverted:
        return "reverted";
    case UndoKind::folderRemoved:
        return "removed folder";
    case UndoKind::folderKept:
        return "a folder the run made, holding files the run did not put there";
    case UndoKind::copyDeleted:
        return "deleted copy";
    case UndoKind::copyChanged:
        return "the file under the copy's name is not the copy as made";
    case UndoKind::leftoverRemoved:
        return "removed unfinished copy";
    case UndoKind::notMoved:
        return "the run never moved it";
    case UndoKind::notAtNewName:
        return "no file has its new name any more";
    case UndoKind::otherFile:
        return "the file under its new name is not the one the run moved";
    case UndoKind::unidentified:
        return "the journal (of an earlier version) does not say which file it moved";
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

namespace {

// Whether plain undo may go on with a run made in another folder than the current one.
bool confirmedElsewhere(const JournalRun& run, bool yes) {
    if (yes || run.folder.empty() || run.folder == files::absolutePath("")) {
        return true;
    }
    if (!files::standardInputIsTerminal()) {
        std::fprintf(stderr,
                     "shotstamp-cli undo: the run was made in %s, not here: give --yes or the "
                     "run's name (%s) to undo it\n",
                     run.folder.c_str(), run.name.c_str());
        return false;
    }
    std::printf("It was made in %s, not here. Undo it? [y/N] ", run.folder.c_str());
    std::fflush(stdout);
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, stdin) != nullptr &&
           (answer[0] == 'y' || answer[0] == 'Y');
}

} // namespace

int runUndo(int argc, char** argv) {
    static constexpr OptionSpec kOptions[] = {{"--dry-run"}, {"--yes"}};
    ParsedArguments parsed;
    if (const auto status = parse(argc, argv, "undo", kUndoUsage, kOptions, 1, parsed)) {
        return *status;
    }
    bool dryRun = false;
    bool yes = false;
    for (const ParsedOption& option : parsed.options) {
        (option.name == "--yes" ? yes : dryRun) = true;
    }
    FileSystem& real = realFileSystem();
    const std::string folder = files::userStateFolder();
    const bool named = parsed.firstOperand < argc;
    std::vector<std::string> unreadable;
    const std::string name =
        named ? argv[parsed.firstOperand] : lastUndoableRun(real, folder, &unreadable);
    for (const std::string& skipped : unreadable) {
        std::fprintf(stderr, "shotstamp-cli undo: passed over %s: its journal cannot be read\n",
                     skipped.c_str());
    }
    // A name of the list, never a path: nothing outside the journal folder is read.
    const std::vector<std::string> runs = listRuns(real, folder);
    JournalRun run;
    if (name.empty() || std::find(runs.begin(), runs.end(), name) == runs.end()) {
        std::fprintf(stderr, "shotstamp-cli undo: %s\n",
                     name.empty() ? "no run to undo" : ("no run named '" + name + "'").c_str());
        return 1;
    }
    if (!readRun(real, folder, name, run)) {
        std::fprintf(stderr, "shotstamp-cli undo: the journal of %s cannot be read\n",
                     name.c_str());
        return 1;
    }
    std::printf("Undoing run %s of %s in %s: %zu moves (%s)\n", run.name.c_str(), run.time.c_str(),
                run.folder.c_str(), run.movedCount(), run.startedBy.c_str());
    if (!run.complete) {
        std::puts("The run is incomplete: it was stopped, is still going on, or made moves its "
                  "journal could not record; what the journal has is undone.");
    }
    if (!named && !dryRun && !confirmedElsewhere(run, yes)) {
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
                    std::printf("%s: %s -> %s\n", dryRun ? "would revert" : "reverted",
                                step.newPath.c_str(), step.oldPath.c_str());
                    return;
                }
                if (step.kind == UndoKind::folderRemoved || step.kind == UndoKind::copyDeleted ||
                    step.kind == UndoKind::leftoverRemoved) {
                    reverted += step.kind == UndoKind::copyDeleted ? 1 : 0;
                    std::printf("%s%s: %s\n", dryRun ? "would have " : "", undoReason(step.kind),
                                step.newPath.c_str());
                    return;
                }
                if (step.kind == UndoKind::notMoved) {
                    return;
                }
                ++left;
                std::printf("left: %s (%s%s%s)\n", step.newPath.c_str(), undoReason(step.kind),
                            step.message.empty() ? "" : ": ", step.message.c_str());
            });
    std::printf("%d reverted, %d left\n", reverted, left);
    if (dryRun) {
        std::fputs("shotstamp-cli undo: dry run, nothing was changed\n", stderr);
    } else if (journal.halted()) {
        std::fprintf(stderr, "shotstamp-cli undo: stopped: %s\n", journal.problem().c_str());
    }
    std::fflush(stdout);
    return left == 0 && !journal.halted() ? 0 : 1;
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
        if (!readRun(real, folder, name, run)) {
            std::printf("%s  (its journal cannot be read)\n", name.c_str());
            continue;
        }
        // Copies and folders made are named only in runs that have them.
        std::size_t done[3] = {0, 0, 0}; // moved, copied, folders made
        for (const JournalMove& step : run.moves) {
            done[static_cast<int>(step.kind)] += step.result == JournalMove::Result::moved;
        }
        std::string counts = std::to_string(done[0]) + " moved";
        if (done[2] > 0) {
            counts += ", " + std::to_string(done[2]) + " copied";
        }
        if (done[1] > 0) {
            counts +=
                ", " + std::to_string(done[1]) + (done[1] == 1 ? " folder" : " folders") + " made";
        }
        std::printf("%s  %s  %s  %s  %s%s\n", run.name.c_str(), run.time.c_str(), counts.c_str(),
                    shellQuoted(run.folder).c_str(), run.startedBy.c_str(),
                    run.complete ? "" : "  (incomplete)");
    }
    std::fflush(stdout);
    return 0;
}

} // namespace shotstamp::cli
