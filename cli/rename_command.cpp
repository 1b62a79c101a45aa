#include "rename_command.h"

#include "metadata/picture_reader.h"
#include "options.h"
#include "platform/text.h"
#include "reader_messages.h"
#include "rename/marked_file_list.h"
#include "rename/rename_commands.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::cli {

namespace {

constexpr const char* kUsage =
    "usage: shotstamp-cli rename [--prefix TEXT] [--all-in-path] [--dry-run] [--] FILE...\n"
    "\n"
    "Renames each JPEG picture in its own folder to TEXT + \"YYYY-MM-DD HHMMSS\" + \".jpg\"\n"
    "after its EXIF DateTimeOriginal. A name that exists is never replaced; such a picture,\n"
    "and one without a usable date, keeps its name. Arguments that do not end in \".jpg\"\n"
    "(any letter case) are skipped.\n"
    "\n"
    "  --prefix TEXT   put TEXT in front of the date (default: nothing)\n"
    "  --all-in-path   rename every *.jpg file in the folder of the first FILE instead\n"
    "  --dry-run       change nothing; report what would happen\n"
    "  --              end of options (for names that start with a dash)\n"
    "  --help          print this text\n"
    "\n"
    "Prints \"renamed: OLD -> NEW\" or \"kept: OLD (REASON)\" per file, then \"N renamed, M "
    "kept\".\n"
    "Exit status: 0 when it ran (kept pictures are not errors), 1 when a file could not be\n"
    "read or renamed for a system error, 2 for a usage error.\n";

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
        if (systemError && !outcome.systemMessage.empty()) {
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

} // namespace

int runRename(int argc, char** argv) {
    static constexpr OptionSpec kOptions[] = {{"--prefix", true}, {"--all-in-path"}, {"--dry-run"}};
    ParsedArguments parsed;
    if (const auto status = parseCommand(argc, argv, {"rename", kUsage, kOptions}, parsed)) {
        return *status;
    }
    std::string prefix;
    bool allInPath = false;
    bool dryRun = false;
    for (const ParsedOption& option : parsed.options) {
        if (option.name == "--prefix") {
            prefix = option.value;
        } else if (option.name == "--all-in-path") {
            allInPath = true;
        } else {
            dryRun = true;
        }
    }
    const int first = parsed.firstOperand;

    std::vector<std::string> files(argv + first, argv + argc);
    for (const std::string& file : files) {
        if (!text::endsWithJpg(file)) {
            std::fprintf(stderr, "shotstamp-cli rename: skipped '%s': not a .jpg name\n",
                         file.c_str());
        }
    }

    // Reader messages would mix with the report on standard output.
    sendReaderMessagesToStandardError();

    FixedPrefix prefixSource(prefix);
    PrintingObserver printer;
    DryRunFileSystem dryRunFiles(realFileSystem());
    RenameCommands commands([&files] { return std::make_unique<ArgumentEntryList>(files); },
                            prefixSource, [] {}, &printer,
                            dryRun ? &dryRunFiles : &realFileSystem());
    if (allInPath) {
        commands.renameAllInPath();
    } else {
        commands.renameMarked();
    }
    std::printf("%d renamed, %d kept\n", printer.renamed(), printer.kept());
    if (dryRun) {
        std::fputs("shotstamp-cli rename: dry run, nothing was changed\n", stderr);
    }
    std::fflush(stdout);
    return printer.failed() ? 1 : 0;
}

} // namespace shotstamp::cli
