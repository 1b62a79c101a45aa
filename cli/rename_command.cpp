#include "rename_command.h"

#include "date_options.h"
#include "json_writer.h"
#include "metadata/containers/container.h"
#include "metadata/picture_reader.h"
#include "naming/name_template.h"
#include "options.h"
#include "platform/files.h"
#include "platform/text.h"
#include "progress.h"
#include "reader_messages.h"
#include "rename/clock_shift.h"
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/journal.h"
#include "rename/marked_file_list.h"
#include "rename/picture_date.h"
#include "rename/read_ahead.h"
#include "rename/rename_commands.h"
#include "report_json.h"
#include "shell_quoting.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::cli {

namespace {

constexpr const char* kUsage =
    "usage: shotstamp-cli rename [OPTION]... [--] FILE|FOLDER...\n"
    "\n"
    "Renames each photo and video in its own folder to TEXT + \"YYYY-MM-DD HHMMSS\" + its\n"
    "extension, after the moment it was taken: a JPEG's EXIF DateTimeOriginal, and the\n"
    "capture date of HEIC, AVIF, RAW (CR3, DNG, CR2, NEF, ARW, RAF, ...), TIFF, PNG, WebP,\n"
    "JPEG XL, MP4 and MOV files. The kind is read from the content; the new name takes the\n"
    "content's extension (\".jpg\" for JPEG). A name that exists is never replaced; such a\n"
    "file, and one without a usable date, keeps its name. A FOLDER stands for its photos\n"
    "and videos in name order. Files of other kinds are skipped.\n"
    "\n"
    "  --prefix TEXT   put TEXT in front of the date (default: nothing)\n"
    "  --format TEMPLATE  the new name: %Y %m %d %H %M %S (date and time), %f (sub-\n"
    "                  seconds), %z (UTC offset), %n (old name without extension), %e (the\n"
    "                  extension), %c (counter), %p (prefix), %% (a \"%\");\n"
    "                  default \"%p%Y-%m-%d %H%M%S%e\"\n"
    "  --into FOLDER_TEMPLATE  move each file into this folder, made of the same fields\n"
    "                  (not %c, %e); relative to the FOLDER named, or to the file's own\n"
    "                  folder for a FILE, unless absolute; missing folders are made\n"
    "  --copy          copy instead of moving (card import); the source stays as it is\n"
    "  --subseconds    add the sub-second digits the camera wrote: \"205732.45\"\n"
    "  --counter       when the name is taken, use the first free of \"-2\", \"-3\", ...\n"
    "  --companions    move files of the same name with their picture, all or nothing:\n"
    "                  RAW files, Live Photo clips, .xmp/.json sidecars and .aae edits\n"
    "                  (the picture is the JPEG, else another still, else the RAW)\n"
    "  --shift [-]HH:MM[:SS] | [-]'D HH:MM:SS'\n"
    "                  correct a wrong camera clock by this much before naming\n"
    "  --date-from SOURCE,...  where the date comes from, first usable wins: exif,\n"
    "                  digitized, gps, xmp, name, modified, mtime (default: exif)\n"
    "  --zone local|utc|+HH:MM  the zone for times known in UTC (default: local)\n"
    "  --video-time local  a video header's time is local time, not UTC\n"
    "  --only KIND,...  take only these kinds from folders (jpg, heic, cr3, mov, ...)\n"
    "  --recursive     also walk the sub-folders of every FOLDER (never symbolic links)\n"
    "  --all-in-path   rename every photo and video in the folder of the first FILE instead\n"
    "  --dry-run       change nothing; report what would happen\n"
    "  --no-journal    write no journal: the run cannot be undone\n"
    "  --jobs N        read up to N files' headers at once while renaming in order\n"
    "                  (1 to 64; 1 reads one file at a time; default: chosen by the program)\n"
    "  --json          report one JSON object per file and line instead of text\n"
    "  --quiet         no progress line on a terminal\n"
    "  --              end of options (for names that start with a dash)\n"
    "  --help          print this text\n"
    "\n"
    "Prints \"renamed: OLD -> NEW\" (and \"  with: OLD -> NEW\" per companion) or\n"
    "\"kept: OLD (REASON)\" per file, then \"N renamed, M kept (REASONS)\". Every move is\n"
    "written to a journal first; 'shotstamp-cli undo' reverts the run, 'shotstamp-cli history'\n"
    "lists runs. When the journal cannot be written, the run stops before the move it could\n"
    "not record. Exit status: 0 when it ran (kept files are not errors), 1 when a file could\n"
    "not be read or renamed for a system error or the run stopped, 2 for a usage error.\n";

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

bool isSystemError(RenameKind kind) {
    return kind == RenameKind::cannotOpen || kind == RenameKind::renameRefused ||
           kind == RenameKind::partlyMoved;
}

// The report of a run: a line per file (text or JSON Lines), the progress line on a terminal,
// and the closing summary.
class Reporter final : public RenameObserver {
public:
    Reporter(bool json, bool dryRun, bool copy, bool showSource, bool progress)
        : json_(json), dryRun_(dryRun), copy_(copy), showSource_(showSource),
          progress_(stderr, progress, 0), summary_(copy ? "copied" : "renamed") {}

    void onOutcome(const RenameOutcome& outcome) override {
        progress_.beforeOutput();
        const bool renamed = outcome.kind == RenameKind::renamed;
        failed_ = failed_ || isSystemError(outcome.kind);
        if (renamed) {
            summary_.renamed();
        } else {
            summary_.kept(reasonText(outcome.kind));
        }
        json_ ? writeJson(outcome) : writeLines(outcome);
        progress_.onFile(renamed);
    }

    // A file or folder the run did not handle at all, with the reason; `fails` when that makes
    // the run fail.
    void skipped(const std::string& path, const std::string& reason, bool fails = true) {
        progress_.beforeOutput();
        failed_ = failed_ || fails;
        if (json_) {
            std::string line;
            appendJsonLine(line, {path, false, {}, "skipped", reason, {}, {}, {}});
            writeText(line);
            return;
        }
        writeText("skipped: ");
        writeName(path);
        writeText(" (");
        writeName(reason);
        writeText(")\n");
    }

    void finish() {
        progress_.finish();
        if (!json_) {
            writeText(summary_.line());
            writeText("\n");
        }
    }
    bool failed() const { return failed_; }

private:
    void writeLines(const RenameOutcome& outcome) {
        if (outcome.kind == RenameKind::renamed) {
            writeText(copy_ ? "copied: " : "renamed: ");
            writeName(outcome.oldPath);
            writeText(" -> ");
            writeName(outcome.newPath);
            if (showSource_ || outcome.dateSource != dateFieldName(DateField::dateTimeOriginal)) {
                writeText(" (date from ");
                writeText(outcome.dateSource);
                writeText(")");
            }
            writeText("\n");
            for (const auto& [from, to] : outcome.companions) {
                writeText("  with: ");
                writeName(from);
                writeText(" -> ");
                writeName(to);
                writeText("\n");
            }
        } else {
            writeText("kept: ");
            writeName(outcome.oldPath);
            writeText(" (");
            writeText(reasonText(outcome.kind));
            if (!outcome.systemMessage.empty()) {
                writeText(": ");
                writeName(outcome.systemMessage);
            }
            if (outcome.systemMessage == files::kOtherFileSystem) {
                writeText("; --copy copies across file systems");
            }
            writeText(")\n");
        }
        for (const std::string& note : outcome.notes) {
            writeText("  note: ");
            writeName(note);
            writeText("\n");
        }
    }

    void writeJson(const RenameOutcome& outcome) {
        const bool renamed = outcome.kind == RenameKind::renamed;
        std::string reason;
        if (!renamed) {
            reason = reasonText(outcome.kind);
            if (!outcome.systemMessage.empty()) {
                reason += ": " + outcome.systemMessage;
            }
        }
        std::string line;
        appendJsonLine(line,
                       {outcome.oldPath, renamed, outcome.newPath, renamed ? outcomeWord() : "kept",
                        reason, outcome.dateSource, outcome.companions, outcome.notes});
        writeText(line);
    }

    const char* outcomeWord() const {
        if (copy_) {
            return dryRun_ ? "would copy" : "copied";
        }
        return dryRun_ ? "would rename" : "renamed";
    }

    bool json_;
    bool dryRun_;
    bool copy_;
    bool showSource_;
    ProgressLine progress_;
    RunSummary summary_;
    bool failed_ = false;
};

struct RenameSettings {
    std::string prefix;
    bool allInPath = false;
    bool dryRun = false;
    bool companions = false;
    bool recursive = false;
    bool noJournal = false; // renamed on purpose without a way back
    bool copy = false;
    bool json = false;
    bool quiet = false;
    bool dateFromGiven = false;
    int jobs = 0;                  // the program's choice
    std::vector<std::string> only; // lower-case extensions with their dot; empty takes every kind
    RenameOptions options;
    DatingRules dating;
    naming::NameTemplate format;
    naming::NameTemplate into;
};

// A usage error: the reason on standard error, then the usage; the status 2.
int usageError(const std::string& why) {
    std::fprintf(stderr, "shotstamp-cli rename: %s\n%s", why.c_str(), kUsage);
    return 2;
}

naming::PathRules pathRules() {
    naming::PathRules rules;
    rules.backslashSeparates = files::isPathSeparator('\\');
    rules.driveLetters = rules.backslashSeparates;
    rules.nameByteAllowed = &files::nameByteAllowed;
    return rules;
}

// Reads --only's list into extensions; "jpg" also stands for ".jpeg" and ".jpe", "tif" for
// ".tiff". False with the reason for a word that names no kind the tool reads.
bool parseOnly(std::string_view list, std::vector<std::string>& extensions, std::string& error) {
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        std::string word(1, '.');
        word += text::lowerAscii(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
        const auto known = supportedExtensions();
        if (std::find(known.begin(), known.end(), word) == known.end()) {
            error = "--only: '" + word.substr(1) + "' is no kind of file it reads";
            return false;
        }
        extensions.push_back(word);
        if (word == ".jpg") {
            extensions.insert(extensions.end(), {".jpeg", ".jpe"});
        } else if (word == ".tif") {
            extensions.push_back(".tiff");
        }
    }
    return !extensions.empty() || (error = "--only needs at least one kind", false);
}

// Takes the value of one option that carries one; false with the reason for a bad value.
bool readValue(const ParsedOption& option, RenameSettings& settings, std::string& error) {
    const std::string_view name = option.name;
    if (name == "--prefix") {
        settings.prefix = option.value;
    } else if (name == "--jobs" && !parseJobs(option.value, settings.jobs)) {
        error = "--jobs takes a number from 1 to " + std::to_string(ReadAhead::kMaxJobs);
    } else if (name == "--shift" && !parseClockShift(option.value, settings.options.shiftSeconds)) {
        error = "--shift wants [-]HH:MM[:SS] or [-]'D HH:MM:SS', not '" + option.value + "'";
    } else if (name == "--format" &&
               settings.format.compile(option.value, naming::TemplateUse::fileName, pathRules(),
                                       error)) {
        settings.options.format = &settings.format;
    } else if (name == "--into" && settings.into.compile(option.value, naming::TemplateUse::folder,
                                                         pathRules(), error)) {
        settings.options.into = &settings.into;
    } else if (name == "--only") {
        settings.only.clear();
        parseOnly(option.value, settings.only, error);
    }
    return error.empty();
}

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
        settings.copy = settings.copy || name == "--copy";
        settings.json = settings.json || name == "--json";
        settings.quiet = settings.quiet || name == "--quiet";
        settings.dateFromGiven = settings.dateFromGiven || name == kDateFromOption.name;
        settings.options.subseconds = settings.options.subseconds || name == "--subseconds";
        settings.options.counter = settings.options.counter || name == "--counter";
        if (std::string error; !readValue(option, settings, error)) {
            return usageError(error);
        }
    }
    if (std::string error; !readDateOptions(parsed.options, settings.dating.date, error)) {
        return usageError(error);
    }
    if (const std::string problem = prefixProblem(settings.prefix); !problem.empty()) {
        return usageError("--prefix must not hold " + problem +
                          ": a new name stays in its picture's folder");
    }
    if (settings.options.subseconds && settings.options.format != nullptr) {
        return usageError("--subseconds and --format together: write %f in the template instead");
    }
    settings.options.dating = &settings.dating;
    settings.options.placement = settings.copy ? Placement::copy : Placement::move;
    settings.options.scan.everyContainer = true;
    const auto& order = settings.dating.date.rules.order;
    settings.options.scan.sidecar =
        std::find(order.begin(), order.end(), capture::DateSource::xmp) != order.end();
    settings.options.scan.modificationTime =
        std::find(order.begin(), order.end(), capture::DateSource::mtime) != order.end();
    return std::nullopt;
}

void printClosing(const RenameSettings& settings, const RunJournal& journal) {
    std::fflush(stdout); // the report first, then what is said of the run as a whole
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
}

// Whether a name is one the run takes: a kind it reads, narrowed by --only.
bool takesName(const RenameSettings& settings, std::string_view name) {
    if (settings.only.empty()) {
        return hasSupportedExtension(name);
    }
    const std::size_t dot = name.rfind('.');
    const std::string extension =
        dot == std::string_view::npos ? std::string() : text::lowerAscii(name.substr(dot));
    return std::find(settings.only.begin(), settings.only.end(), extension) != settings.only.end();
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
        {"--companions"},   {"--shift", true}, {"--recursive"}, {"--jobs", true}, {"--no-journal"},
        {"--format", true}, {"--into", true},  {"--copy"},      {"--json"},       {"--quiet"},
        {"--only", true},   kDateFromOption,   kZoneOption,     kVideoTimeOption};
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
    std::vector<std::string> operands(argv + parsed.firstOperand, argv + argc);
    for (const std::string& file : operands) {
        if (!takesName(settings, file) &&
            (settings.allInPath || files::kindOf(file) != files::EntryKind::folder)) {
            std::fprintf(stderr,
                         "shotstamp-cli rename: skipped '%s': not a kind of file it reads\n",
                         file.c_str());
        }
    }
    if (settings.allInPath) {
        // Every file of the first one's folder, and nothing else of the list.
        const std::string folder = files::folderOf(operands.front());
        operands = {folder.empty() ? std::string(".") : folder};
    }
    Reporter reporter(settings.json, settings.dryRun, settings.copy, settings.dateFromGiven,
                      ProgressLine::wantedOnStandardError(settings.quiet || settings.json));
    FixedPrefix prefixSource(settings.prefix);
    DryRunFileSystem dryRunFiles(realFileSystem());
    FileSystem& fileSystem =
        settings.dryRun ? static_cast<FileSystem&>(dryRunFiles) : realFileSystem();
    CompanionIndex companionIndex(fileSystem);
    RunJournal journal({}, describeRun(argc, argv));
    companionIndex.onShared([&reporter](const std::string& path) {
        reporter.skipped(path, "companion of more than one picture: it stays", false);
    });
    settings.options.companions = settings.companions ? &companionIndex : nullptr;
    settings.options.journal = settings.dryRun || settings.noJournal ? nullptr : &journal;
    auto walk = std::make_unique<FolderWalkList>(operands, settings.recursive, fileSystem);
    walk->onSkipped([&reporter](const std::string& path, const std::string& reason) {
        reporter.skipped(path, reason);
    });
    walk->setFilter([&](const std::string& folder, std::string_view name, bool inWalk) {
        std::string picture;
        return takesName(settings, name) &&
               !(inWalk && settings.companions &&
                 companionIndex.goesWith(folder, std::string(name), picture));
    });
    settings.options.roots = walk.get();
    RenameCommands commands([&walk]() -> std::unique_ptr<EntryList> { return std::move(walk); },
                            prefixSource, [] {}, &reporter, &fileSystem);
    commands.setOptions(settings.options);
    commands.setJobs(settings.jobs);
    commands.renameMarked();
    reporter.finish();
    printClosing(settings, journal);
    return reporter.failed() || journal.halted() ? 1 : 0;
}

} // namespace shotstamp::cli
