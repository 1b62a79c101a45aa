#include "rename_command.h"

#include "json_writer.h"
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
#include <optional>
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
    "  --no-journal    write no journal: the run cannot be undone\n"
    "  --jobs N        read up to N pictures' headers at once while renaming in order\n"
    "                  (1 to 64; 1 reads one picture at a time; default: chosen by the program)\n"
    "  --              end of options (for names that start with a dash)\n"
    "  --help          print this text\n"
    "\n"
    "Prints \"renamed: OLD -> NEW\" (and \"  with: OLD -> NEW\" per companion) or\n"
    "\"kept: OLD (REASON)\" per file, then \"N renamed, M kept\". Every move is written to a\n"
    "journal first; 'shotstamp-cli undo' reverts the run, 'shotstamp-cli history' lists runs.\n"
    "When the journal cannot be written, the run stops before the move it could not record.\n"
    "Exit status: 0 when it ran (kept pictures are not errors), 1 when a file could not be\n"
    "read or renamed for a system error or the run stopped, 2 for a usage error.\n";

// The value of --jobs: a whole number from 1 to the most the read-ahead runs.
bool parseJobs(std::string_view text, int& jobs) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, jobs);
    return error == std::errc() && stop == end && jobs >= 1 && jobs <= ReadAhead::kMaxJobs;
}

// Why a prefix could carry a picture out of its folder or make a name no file should have;
// empty when it is fine. The window takes any prefix; this tool refuses these.
std::string prefixProblem(std::string_view prefix) {
    for (const char c : prefix) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || files::isPathSeparator(c)) {
            return "a path separator";
        }
        if (byte < 0x20 || byte == 0x7F) {
            return "a control character";
        }
    }
    if (prefix.find("..") != std::string_view::npos) {
        return "\"..\"";
    }
    if (!prefix.empty() && prefix.find_first_not_of('.') == std::string_view::npos) {
        return "only dots";
    }
    return {};
}

void writeText(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// A name or a system text in a report line: never more than one line, whatever the name holds.
void writeName(std::string_view name) {
    std::string shown;
    appendReportName(shown, name, !files::isPathSeparator('\\'));
    writeText(shown);
}

class PrintingObserver final : public RenameObserver {
public:
    void onOutcome(const RenameOutcome& outcome) override {
        if (outcome.kind == RenameKind::renamed) {
            ++renamed_;
            writeText("renamed: ");
            writeName(outcome.oldPath);
            writeText(" -> ");
            writeName(outcome.newPath);
            writeText("\n");
            for (const auto& [from, to] : outcome.companions) {
                writeText("  with: ");
                writeName(from);
                writeText(" -> ");
                writeName(to);
                writeText("\n");
            }
            return;
        }
        ++kept_;
        const bool systemError = outcome.kind == RenameKind::cannotOpen ||
                                 outcome.kind == RenameKind::renameRefused ||
                                 outcome.kind == RenameKind::partlyMoved;
        failed_ = failed_ || systemError;
        writeText("kept: ");
        writeName(outcome.oldPath);
        writeText(" (");
        writeText(reasonText(outcome.kind));
        if (!outcome.systemMessage.empty()) {
            writeText(": ");
            writeName(outcome.systemMessage);
        }
        writeText(")\n");
    }

    // A file or folder the run did not handle at all, with the reason; `fails` when that makes
    // the run fail.
    void skipped(const std::string& path, const std::string& reason, bool fails = true) {
        failed_ = failed_ || fails;
        writeText("skipped: ");
        writeName(path);
        writeText(" (");
        writeName(reason);
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

struct RenameSettings {
    std::string prefix;
    bool allInPath = false;
    bool dryRun = false;
    bool companions = false;
    bool recursive = false;
    bool noJournal = false; // renamed on purpose without a way back
    int jobs = 0;           // the program's choice
    RenameOptions options;
};

// Takes the parsed options into `settings`; on a bad value prints why and gives the status 2.
std::optional<int> readSettings(const ParsedArguments& parsed, RenameSettings& settings) {
    settings.options.readPastSections = true; // the date is read wherever the EXIF block is
    for (const ParsedOption& option : parsed.options) {
        const std::string_view name = option.name;
        settings.allInPath = settings.allInPath || name == "--all-in-path";
        settings.dryRun = settings.dryRun || name == "--dry-run";
        settings.companions = settings.companions || name == "--companions";
        settings.recursive = settings.recursive || name == "--recursive";
        settings.noJournal = settings.noJournal || name == "--no-journal";
        settings.options.subseconds = settings.options.subseconds || name == "--subseconds";
        settings.options.counter = settings.options.counter || name == "--counter";
        if (name == "--prefix") {
            settings.prefix = option.value;
        } else if (name == "--jobs" && !parseJobs(option.value, settings.jobs)) {
            std::fprintf(stderr, "shotstamp-cli rename: --jobs takes a number from 1 to %d\n%s",
                         ReadAhead::kMaxJobs, kUsage);
            return 2;
        } else if (name == "--shift" &&
                   !parseClockShift(option.value, settings.options.shiftSeconds)) {
            std::fprintf(stderr,
                         "shotstamp-cli rename: --shift wants [-]HH:MM[:SS] or [-]'D HH:MM:SS', "
                         "not '%s'\n%s",
                         option.value.c_str(), kUsage);
            return 2;
        }
    }
    if (const std::string problem = prefixProblem(settings.prefix); !problem.empty()) {
        std::fprintf(stderr,
                     "shotstamp-cli rename: --prefix must not hold %s: a new name stays in its "
                     "picture's folder\n%s",
                     problem.c_str(), kUsage);
        return 2;
    }
    return std::nullopt;
}

void printSummary(const PrintingObserver& printer, const RenameSettings& settings,
                  const RunJournal& journal) {
    std::printf("%d renamed, %d kept\n", printer.renamed(), printer.kept());
    if (settings.dryRun) {
        std::fputs("shotstamp-cli rename: dry run, nothing was changed\n", stderr);
    } else if (settings.noJournal) {
        std::fputs("shotstamp-cli rename: no journal was written: this run cannot be undone\n",
                   stderr);
    } else if (journal.halted()) {
        std::fprintf(stderr,
                     "shotstamp-cli rename: stopped: %s; nothing after it was renamed%s%s\n",
                     journal.problem().c_str(), journal.name().empty() ? "" : "; journal ",
                     journal.name().c_str());
    } else if (!journal.name().empty()) {
        std::fprintf(stderr, "shotstamp-cli rename: journal %s ('shotstamp-cli undo' reverts it)\n",
                     journal.name().c_str());
    }
    std::fflush(stdout);
}

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
        {"--companions"},   {"--shift", true}, {"--recursive"}, {"--jobs", true}, {"--no-journal"}};
    ParsedArguments parsed;
    RenameSettings settings;
    if (const auto status = parseCommand(argc, argv, {"rename", kUsage, kOptions}, parsed)) {
        return *status;
    }
    if (const auto status = readSettings(parsed, settings)) {
        return *status;
    }
    // Reader messages would mix with the report on standard output.
    sendReaderMessagesToStandardError();
    const std::vector<std::string> files(argv + parsed.firstOperand, argv + argc);
    for (const std::string& file : files) {
        if (!text::endsWithJpg(file) &&
            (settings.allInPath || files::kindOf(file) != files::EntryKind::folder)) {
            std::fprintf(stderr, "shotstamp-cli rename: skipped '%s': not a .jpg name\n",
                         file.c_str());
        }
    }
    PrintingObserver printer;
    FixedPrefix prefixSource(settings.prefix);
    DryRunFileSystem dryRunFiles(realFileSystem());
    FileSystem& fileSystem =
        settings.dryRun ? static_cast<FileSystem&>(dryRunFiles) : realFileSystem();
    CompanionIndex companionIndex(fileSystem);
    RunJournal journal({}, describeRun(argc, argv));
    companionIndex.onShared([&printer](const std::string& path) {
        printer.skipped(path, "companion of more than one picture: it stays", false);
    });
    settings.options.companions = settings.companions ? &companionIndex : nullptr;
    settings.options.journal = settings.dryRun || settings.noJournal ? nullptr : &journal;
    const auto makeList = [&]() -> std::unique_ptr<EntryList> {
        if (settings.allInPath) {
            return std::make_unique<ArgumentEntryList>(files);
        }
        auto walk = std::make_unique<FolderWalkList>(files, settings.recursive, fileSystem);
        walk->onSkipped([&printer](const std::string& path, const std::string& reason) {
            printer.skipped(path, reason);
        });
        return walk;
    };
    RenameCommands commands(
        makeList, prefixSource, [] {}, &printer, &fileSystem);
    commands.setOptions(settings.options);
    commands.setJobs(settings.jobs);
    settings.allInPath ? commands.renameAllInPath() : commands.renameMarked();
    printSummary(printer, settings, journal);
    return printer.failed() || journal.halted() ? 1 : 0;
}

} // namespace shotstamp::cli
