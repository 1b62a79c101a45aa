#include "journal.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace shotstamp {

namespace {

constexpr std::string_view kFirstLine = "shotstamp journal 1";
constexpr std::string_view kSuffix = ".journal";
// A journal longer than this is not ours: reading stops there.
constexpr std::size_t kLargestJournal = 256u << 20;

// Tabs, line ends and backslashes in names would break the line format.
std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char c = text[++i];
        out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
    }
    return out;
}

// "YYYYMMDD-HHMMSS" for a run's name, or "YYYY-MM-DD HH:MM:SS" for people.
std::string formatTime(const std::tm* at, bool forName) {
    if (at == nullptr) {
        return "unknown";
    }
    char buffer[64] = {};
    std::snprintf(buffer, sizeof buffer,
                  forName ? "%04d%02d%02d-%02d%02d%02d" : "%04d-%02d-%02d %02d:%02d:%02d",
                  at->tm_year + 1900, at->tm_mon + 1, at->tm_mday, at->tm_hour, at->tm_min,
                  at->tm_sec);
    return buffer;
}

std::string folderOf(const std::string& path) {
    std::size_t cut = path.size();
    while (cut > 0 && !files::isPathSeparator(path[cut - 1])) {
        --cut;
    }
    return path.substr(0, cut);
}

} // namespace

std::size_t JournalRun::movedCount() const {
    return static_cast<std::size_t>(std::count_if(moves.begin(), moves.end(), [](const auto& m) {
        return m.result == JournalMove::Result::moved;
    }));
}

std::vector<std::string> listRuns(FileSystem& fileSystem, const std::string& journalFolder) {
    std::vector<files::FolderEntry> entries;
    std::vector<std::string> names;
    if (journalFolder.empty() || !fileSystem.listFolder(journalFolder, entries)) {
        return names;
    }
    for (const files::FolderEntry& entry : entries) {
        const std::string_view name = entry.name;
        if (entry.kind == files::EntryKind::file && name.size() > kSuffix.size() &&
            name.substr(name.size() - kSuffix.size()) == kSuffix) {
            names.emplace_back(name.substr(0, name.size() - kSuffix.size()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool readRun(FileSystem& fileSystem, const std::string& journalFolder, const std::string& name,
             JournalRun& run, bool headerOnly) {
    std::string message;
    const FileHandle file =
        fileSystem.openForReading(journalFolder + name + std::string(kSuffix), message);
    if (!file) {
        return false;
    }
    run = JournalRun{};
    run.name = name;
    std::string line;
    bool first = true;
    std::size_t total = 0;
    for (int c = 0; c != EOF && total < kLargestJournal; ++total) {
        c = std::fgetc(file.get());
        if (c != '\n' && c != EOF) {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (first) {
            if (line != kFirstLine) {
                return false;
            }
            first = false;
        }
        const std::size_t space = line.find(' ');
        const std::string_view key = std::string_view(line).substr(0, space);
        const std::string_view value = space == std::string::npos
                                           ? std::string_view()
                                           : std::string_view(line).substr(space + 1);
        if (key == "move") {
            if (headerOnly) {
                break;
            }
            const std::size_t tab = value.find('\t');
            if (tab != std::string_view::npos) {
                run.moves.push_back(
                    {unescape(value.substr(0, tab)), unescape(value.substr(tab + 1)), {}});
            }
        } else if ((key == "ok" || key == "failed") && !run.moves.empty()) {
            run.moves.back().result =
                key == "ok" ? JournalMove::Result::moved : JournalMove::Result::failed;
        } else if (key == "time") {
            run.time = value;
        } else if (key == "by") {
            run.startedBy = unescape(value);
        } else if (key == "folder") {
            run.folder = unescape(value);
        } else if (key == "undoes") {
            run.undoes = unescape(value);
        }
        line.clear();
    }
    return !first;
}

std::string lastUndoableRun(FileSystem& fileSystem, const std::string& journalFolder) {
    const std::vector<std::string> names = listRuns(fileSystem, journalFolder);
    std::vector<std::string> undone;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        JournalRun run;
        if (!readRun(fileSystem, journalFolder, *it, run, true)) {
            continue;
        }
        // Newest first: an undo that was itself undone no longer counts.
        const bool isUndone = std::find(undone.begin(), undone.end(), run.name) != undone.end();
        if (!run.undoes.empty()) {
            if (!isUndone) {
                undone.push_back(run.undoes);
            }
        } else if (!isUndone) {
            return run.name;
        }
    }
    return {};
}

RunJournal::RunJournal(std::string folder, std::string startedBy, std::string undoes)
    : folder_(std::move(folder)), startedBy_(std::move(startedBy)), undoes_(std::move(undoes)) {}

RunJournal::~RunJournal() = default;

bool RunJournal::open(const std::string& firstFrom) {
    if (folder_.empty()) {
        folder_ = files::userStateFolder();
        if (folder_.empty()) {
            problem_ = "no state folder";
            return false;
        }
    }
    const std::time_t now = std::time(nullptr);
    const std::string stamp = formatTime(std::gmtime(&now), true);
    const std::string localTime = formatTime(std::localtime(&now), false);
    // A new serial after every run of this second that is kept, so that no name comes back.
    const std::vector<std::string> runs = listRuns(realFileSystem(), folder_);
    int serial = 1;
    for (const std::string& run : runs) {
        if (run.size() == stamp.size() + 4 && run.compare(0, stamp.size(), stamp) == 0) {
            serial = std::max(serial, std::atoi(run.c_str() + stamp.size() + 1) + 1);
        }
    }
    for (const int last = serial + 100; serial < last && serial < 1000 && !file_; ++serial) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%03d", serial);
        name_ = stamp + suffix;
        file_.reset(files::createNew(folder_ + name_ + std::string(kSuffix), problem_));
    }
    if (!file_) {
        name_.clear();
        return false;
    }
    problem_.clear();
    write(std::string(kFirstLine) + "\ntime " + localTime + "\nby " + escape(startedBy_) +
          "\nfolder " + escape(folderOf(files::absolutePath(firstFrom))) + "\n");
    if (!undoes_.empty()) {
        write("undoes " + escape(undoes_) + "\n");
    }
    // Keep the latest runs only: those listed before this one, less one.
    for (std::size_t i = 0; i + kKeptRuns < runs.size() + 1; ++i) {
        files::removeFile(folder_ + runs[i] + std::string(kSuffix));
    }
    return true;
}

void RunJournal::write(const std::string& text) {
    if (file_ && std::fputs(text.c_str(), file_.get()) < 0) {
        problem_ = "cannot write the journal";
        failed_ = true;
    }
}

void RunJournal::beforeMove(const std::string& from, const std::string& to) {
    if (failed_ || (!file_ && !open(from))) {
        failed_ = true;
        return;
    }
    // The old name as the file system spells it, so that undo gives back its letter case.
    write("move " + escape(files::nameOnDisk(files::absolutePath(from))) + "\t" +
          escape(files::absolutePath(to)) + "\n");
    // The move is written down before it is made; its result may wait for the next flush.
    if (std::fflush(file_.get()) != 0) {
        problem_ = "cannot write the journal";
        failed_ = true;
    }
}

void RunJournal::afterMove(bool moved) {
    if (!failed_) {
        write(moved ? "ok\n" : "failed\n");
    }
}

void undoRun(const JournalRun& run, FileSystem& fileSystem, MoveJournal* journal,
             const std::function<void(const UndoStep&)>& report) {
    for (auto it = run.moves.rbegin(); it != run.moves.rend(); ++it) {
        if (it->result == JournalMove::Result::failed) {
            continue;
        }
        UndoStep step;
        step.newPath = it->to;
        step.oldPath = it->from;
        if (!fileSystem.exists(it->to)) {
            step.kind = UndoKind::notAtNewName;
            report(step);
            continue;
        }
        if (journal != nullptr) {
            journal->beforeMove(it->to, it->from);
        }
        const MoveResult moved = fileSystem.moveNoReplace(it->to, it->from);
        if (journal != nullptr) {
            journal->afterMove(moved.status == MoveStatus::moved);
        }
        step.kind = moved.status == MoveStatus::moved          ? UndoKind::reverted
                    : moved.status == MoveStatus::targetExists ? UndoKind::oldNameTaken
                                                               : UndoKind::refused;
        step.message = moved.message;
        report(step);
    }
}

} // namespace shotstamp
