#include "journal.h"

#include "move_step.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string_view>

namespace shotstamp {

namespace {

// Version 1 journals (no file identities, results after their move) are still read.
constexpr std::string_view kFirstLineV1 = "shotstamp journal 1";
constexpr std::string_view kFirstLine = "shotstamp journal 2";
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

// The serial number a run's name begins with ("000042_..."); 0 for names of earlier versions.
std::uint64_t serialOf(std::string_view name) {
    const std::size_t cut = name.find('_');
    std::uint64_t serial = 0;
    if (cut == std::string_view::npos || cut == 0) {
        return 0;
    }
    const auto [end, error] = std::from_chars(name.data(), name.data() + cut, serial);
    return error == std::errc() && end == name.data() + cut ? serial : 0;
}

std::string identityText(const FileIdentity* identity) {
    if (identity == nullptr) {
        return "-";
    }
    return std::to_string(identity->volume) + " " + std::to_string(identity->index) + " " +
           std::to_string(identity->size) + " " + std::to_string(identity->modified);
}

// Reads "V I S M" (or "-"); false when it is neither.
bool parseIdentity(std::string_view text, JournalMove& move) {
    if (text == "-") {
        return true;
    }
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto field = [&](auto& value, bool last) {
        const auto [stop, error] = std::from_chars(at, end, value);
        if (error != std::errc() || (last ? stop != end : stop == end || *stop != ' ')) {
            return false;
        }
        at = last ? stop : stop + 1;
        return true;
    };
    FileIdentity& id = move.identity;
    move.identified = field(id.volume, false) && field(id.index, false) && field(id.size, false) &&
                      field(id.modified, true);
    return move.identified;
}

bool readWhole(std::FILE* file, std::string& text) {
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        if (text.size() + got > kLargestJournal) {
            return false;
        }
        text.append(buffer, got);
    }
    return std::ferror(file) == 0;
}

// One line of a journal into `run`; false when a version 2 line does not parse.
bool readLine(std::string_view line, int version, bool headerOnly, JournalRun& run,
              std::map<std::uint64_t, std::size_t>& numbered, bool& stop) {
    const std::size_t space = line.find(' ');
    const std::string_view key = line.substr(0, space);
    const std::string_view value =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (key == "move") {
        if (headerOnly) {
            stop = true;
            return true;
        }
        JournalMove move;
        std::string_view rest = value;
        if (version == 2) {
            const std::size_t cut = value.find(' ');
            const std::size_t tab = value.find('\t');
            std::uint64_t number = 0;
            if (cut == std::string_view::npos || tab == std::string_view::npos || tab < cut ||
                std::from_chars(value.data(), value.data() + cut, number).ptr !=
                    value.data() + cut ||
                !parseIdentity(value.substr(cut + 1, tab - cut - 1), move)) {
                return false;
            }
            numbered[number] = run.moves.size();
            rest = value.substr(tab + 1);
        }
        const std::size_t tab = rest.find('\t');
        if (tab == std::string_view::npos) {
            return version == 1;
        }
        move.from = unescape(rest.substr(0, tab));
        move.to = unescape(rest.substr(tab + 1));
        run.moves.push_back(std::move(move));
    } else if (key == "ok" || key == "failed") {
        const auto result = key == "ok" ? JournalMove::Result::moved : JournalMove::Result::failed;
        if (version == 1) {
            if (!run.moves.empty()) {
                run.moves.back().result = result;
            }
            return true;
        }
        std::uint64_t number = 0;
        const auto found =
            numbered.find(std::from_chars(value.data(), value.data() + value.size(), number).ptr ==
                                  value.data() + value.size()
                              ? number
                              : 0);
        if (found == numbered.end()) {
            return headerOnly;
        }
        run.moves[found->second].result = result;
    } else if (key == "time") {
        run.time = value;
    } else if (key == "by") {
        run.startedBy = unescape(value);
    } else if (key == "folder") {
        run.folder = unescape(value);
    } else if (key == "undoes") {
        run.undoes = unescape(value);
    } else if (key == "end") {
        run.complete = value == "complete";
    } else if (version == 2) {
        return false;
    }
    return true;
}

} // namespace

std::size_t JournalRun::movedCount() const {
    return static_cast<std::size_t>(std::count_if(moves.begin(), moves.end(), [](const auto& m) {
        return m.result == JournalMove::Result::moved;
    }));
}

bool isRunName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return c != '\0' && !files::isPathSeparator(c) && c != ':'; });
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
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::uint64_t left = serialOf(a);
        const std::uint64_t right = serialOf(b);
        return left != right ? left < right : a < b;
    });
    return names;
}

bool readRun(FileSystem& fileSystem, const std::string& journalFolder, const std::string& name,
             JournalRun& run, bool headerOnly) {
    if (!isRunName(name)) {
        return false;
    }
    std::string message;
    const FileHandle file =
        fileSystem.openForReading(journalFolder + name + std::string(kSuffix), message);
    std::string text;
    if (!file || !readWhole(file.get(), text)) {
        return false;
    }
    run = JournalRun{};
    run.name = name;
    const std::string_view all = text;
    std::size_t end = all.find('\n');
    const std::string_view first = all.substr(0, end);
    const int version = first == kFirstLine ? 2 : first == kFirstLineV1 ? 1 : 0;
    if (version == 0 || end == std::string_view::npos) {
        return false;
    }
    std::map<std::uint64_t, std::size_t> numbered;
    bool stop = false;
    // A last line without its line end was cut short by a kill: what it said was never made.
    for (std::size_t start = end + 1; !stop && (end = all.find('\n', start)) != std::string::npos;
         start = end + 1) {
        if (!readLine(all.substr(start, end - start), version, headerOnly, run, numbered, stop)) {
            return false;
        }
    }
    return true;
}

std::string lastUndoableRun(FileSystem& fileSystem, const std::string& journalFolder,
                            std::vector<std::string>* unreadable) {
    const std::vector<std::string> names = listRuns(fileSystem, journalFolder);
    std::vector<std::string> undone;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        JournalRun run;
        if (!readRun(fileSystem, journalFolder, *it, run, true)) {
            if (unreadable != nullptr) {
                unreadable->push_back(*it);
            }
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

RunJournal::RunJournal(std::string folder, std::string startedBy, std::string undoes,
                       WhenUnwritable policy, FileSystem* fileSystem)
    : folder_(std::move(folder)), startedBy_(std::move(startedBy)), undoes_(std::move(undoes)),
      policy_(policy), fileSystem_(fileSystem != nullptr ? *fileSystem : realFileSystem()) {}

RunJournal::~RunJournal() {
    if (!file_) {
        return;
    }
    if (failed_) {
        // Moves may have been made that it does not tell: say so, if it can be written now.
        pending_ = "end incomplete\n";
        failed_ = false;
    } else {
        pending_ += "end complete\n";
    }
    flush(true);
}

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
    // The next serial after the newest run: history follows it, whatever the clock says.
    const std::vector<std::string> runs = listRuns(fileSystem_, folder_);
    std::uint64_t serial = runs.empty() ? 1 : serialOf(runs.back()) + 1;
    for (const std::uint64_t last = serial + 100; serial < last && !file_; ++serial) {
        char number[32];
        std::snprintf(number, sizeof number, "%06llu_", static_cast<unsigned long long>(serial));
        name_ = number + stamp;
        file_ = fileSystem_.createNew(folder_ + name_ + std::string(kSuffix), problem_);
    }
    if (!file_) {
        name_.clear();
        return false;
    }
    problem_.clear();
    std::string header = std::string(kFirstLine) + "\ntime " + localTime + "\nby " +
                         escape(startedBy_) + "\nfolder " + escape(folderOf(firstFrom)) + "\n";
    if (!undoes_.empty()) {
        header += "undoes " + escape(undoes_) + "\n";
    }
    pending_.insert(0, header);
    // Keep the latest runs only: those listed before this one, less one; a run still being
    // written by another process stays.
    for (std::size_t i = 0; i + kKeptRuns < runs.size() + 1; ++i) {
        fileSystem_.removeUnlessInUse(folder_ + runs[i] + std::string(kSuffix));
    }
    return true;
}

bool RunJournal::flush(bool sync) {
    std::string message;
    if (!fileSystem_.append(file_.get(), pending_, message) ||
        (sync && !fileSystem_.syncData(file_.get(), message))) {
        problem_ = "cannot write the journal: " + message;
        failed_ = true;
    }
    pending_.clear();
    return !failed_;
}

std::size_t RunJournal::note(const std::string& from, const std::string& to,
                             const FileIdentity* identity) {
    ++moves_;
    if (failed_) {
        return moves_;
    }
    // The old name as the file system spells it, so that undo gives back its letter case.
    const std::string oldPath = files::nameOnDisk(files::absolutePath(from));
    if (firstFrom_.empty()) {
        firstFrom_ = oldPath;
    }
    pending_ += "move " + std::to_string(moves_) + " " + identityText(identity) + "\t" +
                escape(oldPath) + "\t" + escape(files::absolutePath(to)) + "\n";
    return moves_;
}

bool RunJournal::commit() {
    if (!failed_ && !pending_.empty()) {
        const bool created = !file_;
        if (created && !open(firstFrom_)) {
            failed_ = true;
        } else if (flush(true) && created) {
            // The journal's own entry in its folder must outlive a crash as well.
            std::string message;
            if (!fileSystem_.syncFolder(folder_, message)) {
                problem_ = "cannot write the journal: " + message;
                failed_ = true;
            }
        }
    }
    if (failed_) {
        pending_.clear();
        halted_ = policy_ == WhenUnwritable::stop;
    }
    return !halted_;
}

void RunJournal::result(std::size_t move, bool moved) {
    if (!failed_) {
        pending_ += (moved ? "ok " : "failed ") + std::to_string(move) + "\n";
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
        FileIdentity atNew;
        FileIdentity atOld;
        const bool newKnown = fileSystem.identifyPath(it->to, atNew);
        if (!it->identified) {
            step.kind = UndoKind::unidentified;
        } else if (newKnown && atNew == it->identity) {
            const MoveResult moved = moveFile(fileSystem, journal, it->to, it->from, &it->identity);
            step.kind = moved.status == MoveStatus::moved          ? UndoKind::reverted
                        : moved.status == MoveStatus::targetExists ? UndoKind::oldNameTaken
                                                                   : UndoKind::refused;
            step.message = moved.message;
        } else if (it->result == JournalMove::Result::unknown &&
                   fileSystem.identifyPath(it->from, atOld) && atOld == it->identity) {
            // Killed before the move: a 0-byte file under the new name is the claim that the
            // exclusive-create way of moving makes first.
            step.kind = UndoKind::notMoved;
            if (newKnown && atNew.size == 0 && !(atNew == atOld)) {
                fileSystem.removeFile(it->to);
            }
        } else {
            step.kind = fileSystem.exists(it->to) ? UndoKind::otherFile : UndoKind::notAtNewName;
        }
        report(step);
        if (journal != nullptr && journal->halted()) {
            return;
        }
    }
}

} // namespace shotstamp
