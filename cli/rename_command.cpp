#include "rename_command.h"

#include "metadata/picture_reader.h"
#include "options.h"
#include "platform/files.h"
#include "platform/text.h"
#include "reader_messages.h"
#include "rename/clock_shift.h"
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/journal.h"
#include "rename/marked_file_list.h"
#include "rename/read_ahead.h"
#include "rename/rename_commands.h"
#include "shell_quoting.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::cli {

namespace {

constexpr const char* kUsage =
    "usage: shotstamp-cli rename [OPTION]... [--] FILE|FOLDER...\n"
    "\n"
    "Renames each JPEG picture in its own folder to TEXT + \"YYYY-MM-DD HHMMSS\" + \".jpg\"\n"
    "after its EXIF DateTimeOriginal. A name that exists is never replaced; such a picture,\n"
    "and one without a usable date, keeps its name. A FOLDER stands for its *.jpg files in\n"
    "name order. Other arguments that do not end in \".jpg\" (any letter case) are skipped.\n"
    "\n"
    "  --prefix TEXT   put TEXT in front of the date (default: nothing)\n"
    "  --subseconds    add the sub-second digits the camera wrote: \"205732.45\"\n"
    "  --counter       when the name is taken, use the first free of \"-2\", \"-3\", ...\n"
    "  --companions    move RAW files, .xmp sidecars, .mov/.mp4 clips and .aae edits that\n"
    "                  share the picture's name with it, all or nothing\n"
    "  --shift [-]HH:MM[:SS] | [-]'D HH:MM:SS'\n"
    "                  correct a wrong camera clock by this much before naming\n"
    "  --recursive     also walk the sub-folders of every FOLDER (never symbolic links)\n"
    "  --all-in-path   rename every *.jpg file in the folder of the first FILE instead\n"
    "  --dry-run       change nothing; report what would happen\n"
    "  --jobs N        read up to N pictures' headers at once while renaming in order\n"
    "                  (1 to 64; 1 reads one picture at a time; default: chosen by the program)\n"
    "  --              end of options (for names that start with a dash)\n"
    "  --help          print this text\n"
    "\n"
    "Prints \"renamed: OLD -> NEW\" (and \"  with: OLD -> NEW\" per companion) or\n"
    "\"kept: OLD (REASON)\" per file, then \"N renamed, M kept\". Every move is written to a\n"
    "journal first; 'shotstamp-cli undo' reverts the run, 'shotstamp-cli history' lists runs.\n"
    "Exit status: 0 when it ran (kept pictures are not errors), 1 when a file could not be\n"
    "read or renamed for a system error, 2 for a usage error.\n";

// The value of --jobs: a whole number from 1 to the most the read-ahead runs.
bool parseJobs(std::string_view text, int& jobs) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, jobs);
    return error == std::errc() && stop == end && jobs >= 1 && jobs <= ReadAhead::kMaxJobs;
}

void writeText(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

class PrintingObserver final : public RenameObserver {
public:
    void onOutcome(const RenameOutcome& outcome) override {
        if (outcome.kind == RenameKind::renamed) {
            ++renamed_;
            writeText("renamed: ");
            writeText(outcome.oldPath);
            writeText(" -> ");
            writeText(outcome.newPath);
            writeText("\n");
            for (const auto& [from, to] : outcome.companions) {
                writeText("  with: ");
                writeText(from);
                writeText(" -> ");
                writeText(to);
                writeText("\n");
            }
            return;
        }
        ++kept_;
        const bool systemError =
            outcome.kind == RenameKind::cannotOpen || outcome.kind == RenameKind::renameRefused;
        failed_ = failed_ || systemError;
        writeText("kept: ");
        writeText(outcome.oldPath);
        writeText(" (");
        writeText(reasonText(outcome.kind));
        if (!outcome.systemMessage.empty()) {
            writeText(": ");
            writeText(outcome.systemMessage);
        }
        writeText(")\n");
    }

    int renamed() const { return renamed_; }
    int kept() const { return kept_; }
    bool failed() const { return failed_; }

private:
    int renamed_ = 0;
    int kept_ = 0;
    bool failed_ = false;
};

// The command line as the journal records it, so that history shows how a run began.
std::string describeRun(int argc, char** argv) {
    std::string text = "shotstamp-cli rename";
    for (int i = 0; i < argc; ++i) {
        // Appended piece by piece: GCC 12 at -O3 sees a false overlap in " " + std::string.
        text += ' ';
        text += shellQuoted(argv[i]);
    }
    return text;
}

} // namespace

int runRename(int argc, char** argv) {
    static constexpr OptionSpec kOptions[] = {
        {"--prefix", true}, {"--all-in-path"}, {"--dry-run"},   {"--subseconds"}, {"--counter"},
        {"--companions"},   {"--shift", true}, {"--recursive"}, {"--jobs", true}};
    ParsedArguments parsed;
    if (const auto status = parseCommand(argc, argv, {"rename", kUsage, kOptions}, parsed)) {
        return *status;
    }
    std::string prefix;
    bool allInPath = false;
    bool dryRun = false;
    int jobs = 0; // the program's choice
    bool companions = false;
    bool recursive = false;
    RenameOptions options;
    for (const ParsedOption& option : parsed.options) {
        if (option.name == "--prefix") {
            prefix = option.value;
        } else if (option.name == "--all-in-path") {
            allInPath = true;
        } else if (option.name == "--jobs") {
            if (!parseJobs(option.value, jobs)) {
                std::fprintf(stderr, "shotstamp-cli rename: --jobs takes a number from 1 to %d\n%s",
                             ReadAhead::kMaxJobs, kUsage);
                return 2;
            }
        } else if (option.name == "--dry-run") {
            dryRun = true;
        } else if (option.name == "--subseconds") {
            options.subseconds = true;
        } else if (option.name == "--counter") {
            options.counter = true;
        } else if (option.name == "--companions") {
            companions = true;
        } else if (option.name == "--recursive") {
            recursive = true;
        } else if (!parseClockShift(option.value, options.shiftSeconds)) {
            std::fprintf(stderr,
                         "shotstamp-cli rename: --shift wants [-]HH:MM[:SS] or [-]'D HH:MM:SS', "
                         "not '%.*s'\n%s",
                         static_cast<int>(option.value.size()), option.value.data(), kUsage);
            return 2;
        }
    }
    const int first = parsed.firstOperand;

    std::vector<std::string> files(argv + first, argv + argc);
    for (const std::string& file : files) {
        if (!text::endsWithJpg(file) &&
            (allInPath || files::kindOf(file) != files::EntryKind::folder)) {
            std::fprintf(stderr, "shotstamp-cli rename: skipped '%s': not a .jpg name\n",
                         file.c_str());
        }
    }

    // Reader messages would mix with the report on standard output.
    sendReaderMessagesToStandardError();

    FixedPrefix prefixSource(prefix);
    PrintingObserver printer;
    DryRunFileSystem dryRunFiles(realFileSystem());
    FileSystem& fileSystem = dryRun ? static_cast<FileSystem&>(dryRunFiles) : realFileSystem();
    CompanionIndex companionIndex(fileSystem);
    RunJournal journal({}, describeRun(argc, argv));
    options.companions = companions ? &companionIndex : nullptr;
    options.journal = dryRun ? nullptr : &journal;

    RenameCommands commands(
        [&]() -> std::unique_ptr<EntryList> {
            if (allInPath) {
                return std::make_unique<ArgumentEntryList>(files);
            }
            return std::make_unique<FolderWalkList>(files, recursive, fileSystem);
        },
        prefixSource, [] {}, &printer, &fileSystem);
    commands.setOptions(options);
    commands.setJobs(jobs);
    if (allInPath) {
        commands.renameAllInPath();
    } else {
        commands.renameMarked();
    }
    std::printf("%d renamed, %d kept\n", printer.renamed(), printer.kept());
    if (dryRun) {
        std::fputs("shotstamp-cli rename: dry run, nothing was changed\n", stderr);
    } else if (!journal.problem().empty()) {
        std::fprintf(stderr, "shotstamp-cli rename: no journal (%s): this run cannot be undone\n",
                     journal.problem().c_str());
    } else if (!journal.name().empty()) {
        std::fprintf(stderr, "shotstamp-cli rename: journal %s ('shotstamp-cli undo' reverts it)\n",
                     journal.name().c_str());
    }
    std::fflush(stdout);
    return printer.failed() ? 1 : 0;
}

} // namespace shotstamp::cli
