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
// Lines after the header, one per step, each written and synced before its step is made:
//   move N IDENTITY\tOLD\tNEW
//   mkdir N\tFOLDER                                   (a folder made by the run)
//   copy N IDENTITY\tSIZE HASH\tSOURCE\tCOPY\tTEMPORARY (HASH in hex, of the source's bytes)
//   hash N SIZE HASH                                  (for a copy line whose SIZE HASH is "-")
// IDENTITY is "VOLUME INDEX SIZE MODIFIED" or "-"; then "ok N" / "failed N" once a step is made
// or refused, and "end complete" / "end incomplete" last. A copy made among others is written
// down before its temporary file is made and gets its hash line, synced, once the copy has been
// checked and before it takes its name. The mkdir, copy and hash lines came later than the rest:
// journals without them read as before.
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

void appendEscaped(std::string& out, std::string_view text) {
    const auto plain = [](char c) { return c != '\\' && c != '\t' && c != '\n' && c != '\r'; };
    if (std::all_of(text.begin(), text.end(), plain)) {
        out += text;
        return;
    }
    out += escape(text);
}

void appendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void appendSigned(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void appendIdentity(std::string& out, const FileIdentity* identity) {
    if (identity == nullptr) {
        out += '-';
        return;
    }
    appendNumber(out, identity->volume);
    out += ' ';
    appendNumber(out, identity->index);
    out += ' ';
    appendNumber(out, identity->size);
    out += ' ';
    appendSigned(out, identity->modified);
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

// Reads "SIZE HASH" (HASH in hex); false when it is not that.
bool parseSizeAndHash(std::string_view text, JournalMove& copy) {
    const std::size_t gap = text.find(' ');
    copy.hashed =
        gap != std::string_view::npos &&
        std::from_chars(text.data(), text.data() + gap, copy.size).ptr == text.data() + gap &&
        std::from_chars(text.data() + gap + 1, text.data() + text.size(), copy.hash, 16).ptr ==
            text.data() + text.size();
    return copy.hashed;
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

// True when the journal's last line says that its run ended well. Only its end is read: a
// journal of a large run is megabytes long.
bool endsComplete(std::FILE* file) {
    constexpr std::string_view kEnd = "\nend complete\n";
    char tail[kEnd.size()];
    return std::fseek(file, -static_cast<long>(sizeof tail), SEEK_END) == 0 &&
           std::fread(tail, 1, sizeof tail, file) == sizeof tail &&
           std::string_view(tail, sizeof tail) == kEnd;
}

// One line of a journal into `run`; false when a version 2 line does not parse.
bool readLine(std::string_view line, int version, bool headerOnly, JournalRun& run,
              std::map<std::uint64_t, std::size_t>& numbered, bool& stop) {
    const std::size_t space = line.find(' ');
    const std::string_view key = line.substr(0, space);
    const std::string_view value =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (key == "mkdir" || key == "copy") {
        if (headerOnly) {
            stop = true;
            return true;
        }
        // "mkdir N\tFOLDER"; "copy N IDENTITY\tSIZE HASH\tFROM\tTO\tTEMPORARY"
        JournalMove step;
        step.kind = key == "copy" ? JournalMove::Kind::copy : JournalMove::Kind::folder;
        std::vector<std::string_view> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = value.find('\t', start);
            fields.push_back(value.substr(start, tab - start));
            if (tab == std::string_view::npos) {
                break;
            }
            start = tab + 1;
        }
        std::string_view head = fields[0];
        const std::size_t cut = head.find(' ');
        std::uint64_t number = 0;
        if (version != 2 || fields.size() != (key == "copy" ? 5u : 2u) ||
            (key == "copy" && cut == std::string_view::npos) ||
            std::from_chars(head.data(), head.data() + head.size(), number).ptr !=
                head.data() + (key == "copy" ? cut : head.size())) {
            return false;
        }
        if (key == "copy") {
            if (!parseIdentity(head.substr(cut + 1), step) ||
                (fields[1] != "-" && !parseSizeAndHash(fields[1], step))) {
                return false;
            }
            step.from = unescape(fields[2]);
            step.to = unescape(fields[3]);
            step.temporary = unescape(fields[4]);
        } else {
            step.to = unescape(fields[1]);
        }
        numbered[number] = run.moves.size();
        run.moves.push_back(std::move(step));
    } else if (key == "move") {
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
    } else if (key == "hash") {
        // "hash N SIZE HASH"
        if (headerOnly) {
            stop = true;
            return true;
        }
        const std::size_t cut = value.find(' ');
        std::uint64_t number = 0;
        if (version != 2 || cut == std::string_view::npos ||
            std::from_chars(value.data(), value.data() + cut, number).ptr != value.data() + cut) {
            return false;
        }
        const auto found = numbered.find(number);
        return found != numbered.end() &&
               run.moves[found->second].kind == JournalMove::Kind::copy &&
               parseSizeAndHash(value.substr(cut + 1), run.moves[found->second]);
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
        return m.result == JournalMove::Result::moved && m.kind != JournalMove::Kind::folder;
    }));
}

bool isRunName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return c != '\0' && !files::isPathSeparator(c) && c != ':'; });
}

std::vector<std::string> listRuns(FileSystem& fileSystem, const std::string& journalFolder) {
    files::FolderListing entries;
    std::vector<std::string> names;
    if (journalFolder.empty() || !fileSystem.listFolder(journalFolder, entries)) {
        return names;
    }
    for (const files::FolderListing::Entry entry : entries) {
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
                         escape(startedBy_) + "\nfolder " + escape(files::folderOf(firstFrom)) +
                         "\n";
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
    return noteLine("move", identity, {}, from, to, {});
}

std::size_t RunJournal::noteFolder(const std::string& folder) {
    return noteLine("mkdir", nullptr, {}, {}, folder, {});
}

std::size_t RunJournal::noteCopy(const CopyNote& copy) {
    char sizes[48] = "-";
    if (copy.hashed) {
        std::snprintf(sizes, sizeof sizes, "%llu %llx", static_cast<unsigned long long>(copy.size),
                      static_cast<unsigned long long>(copy.hash));
    }
    return noteLine("copy", copy.identity, sizes, copy.from, copy.to, copy.temporary);
}

void RunJournal::noteHash(std::size_t copy, std::uint64_t size, std::uint64_t hash) {
    if (!failed_) {
        char line[80];
        std::snprintf(line, sizeof line, "hash %llu %llu %llx\n",
                      static_cast<unsigned long long>(copy), static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(hash));
        pending_ += line;
    }
}

std::size_t RunJournal::noteLine(std::string_view kind, const FileIdentity* identity,
                                 std::string_view extra, const std::string& from,
                                 const std::string& to, std::string_view temporary) {
    ++moves_;
    if (failed_) {
        return moves_;
    }
    // The old name as the file system spells it, so that undo gives back its letter case.
    const std::string oldPath = from.empty() ? from : files::nameOnDisk(absolute(from));
    // The run's folder is that of its first file; while only folders are noted (the journal not
    // yet open), the folder the first of them is made in.
    if (!file_ && (firstFrom_.empty() || (firstFromFolder_ && !from.empty()))) {
        firstFromFolder_ = from.empty();
        firstFrom_ = from.empty() ? absolute(to) : oldPath;
    }
    pending_ += kind;
    pending_ += ' ';
    appendNumber(pending_, moves_);
    if (kind != "mkdir") {
        pending_ += ' ';
        appendIdentity(pending_, identity);
        if (!extra.empty()) {
            pending_ += '\t';
            pending_ += extra;
        }
        pending_ += '\t';
        appendEscaped(pending_, oldPath);
    }
    pending_ += '\t';
    appendEscaped(pending_, absolute(to));
    if (!temporary.empty()) {
        pending_ += '\t';
        appendEscaped(pending_, absolute(std::string(temporary)));
    }
    pending_ += '\n';
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
        pending_ += moved ? "ok " : "failed ";
        appendNumber(pending_, move);
        pending_ += '\n';
    }
}

std::string RunJournal::absolute(const std::string& path) {
    if constexpr (files::kPreferredSeparator != '/') {
        return files::absolutePath(path); // no question to the file system there
    }
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    // Relative: against the current folder, asked for once per run.
    if (currentFolder_.empty()) {
        currentFolder_ = files::absolutePath("");
    }
    return currentFolder_ + path;
}

namespace {

bool sameFile(FileSystem& fileSystem, const std::string& path, const FileIdentity& identity) {
    FileIdentity now;
    return fileSystem.identifyPath(path, now) && now == identity;
}

// A temporary copy the run may have left; removed unless a run still writes it.
void removeLeftover(const JournalMove& step, FileSystem& fileSystem,
                    const std::function<void(const UndoStep&)>& report) {
    if (step.kind == JournalMove::Kind::copy && step.result == JournalMove::Result::unknown &&
        !step.temporary.empty() && fileSystem.exists(step.temporary) &&
        fileSystem.removeUnlessInUse(step.temporary)) {
        report({UndoKind::leftoverRemoved, step.temporary, step.from, {}});
    }
}

// A move that was written down and never made: the file still has its old name. A 0-byte file
// under the new name is then the claim that the exclusive-create way of moving makes first.
bool removeClaim(const JournalMove& step, FileSystem& fileSystem) {
    FileIdentity atNew;
    if (step.kind != JournalMove::Kind::move || step.result != JournalMove::Result::unknown ||
        !step.identified || !sameFile(fileSystem, step.from, step.identity)) {
        return false;
    }
    if (fileSystem.identifyPath(step.to, atNew) && atNew.size == 0 && !(atNew == step.identity)) {
        fileSystem.removeFile(step.to);
    }
    return true;
}

// Whether the folder step was made by the run: said so, or (cut short before its result was
// written) a later step of the run put a file into it.
bool folderWasMade(const JournalRun& run, std::size_t index) {
    const JournalMove& folder = run.moves[index];
    if (folder.result != JournalMove::Result::unknown) {
        return folder.result == JournalMove::Result::moved;
    }
    return std::any_of(run.moves.begin() + static_cast<std::ptrdiff_t>(index) + 1, run.moves.end(),
                       [&](const JournalMove& later) {
                           return later.kind != JournalMove::Kind::folder &&
                                  later.result != JournalMove::Result::failed &&
                                  later.to.size() > folder.to.size() &&
                                  later.to.starts_with(folder.to) &&
                                  files::isPathSeparator(later.to[folder.to.size()]);
                       });
}

UndoStep undoFolder(const JournalRun& run, std::size_t index, FileSystem& fileSystem) {
    UndoStep step;
    step.newPath = run.moves[index].to;
    if (!folderWasMade(run, index) || !fileSystem.exists(step.newPath)) {
        step.kind = UndoKind::notMoved;
    } else {
        step.kind =
            fileSystem.removeFolder(step.newPath) ? UndoKind::folderRemoved : UndoKind::folderKept;
    }
    return step;
}

UndoStep undoCopy(const JournalMove& copy, FileSystem& fileSystem) {
    UndoStep step;
    step.newPath = copy.to;
    step.oldPath = copy.from;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    if (!fileSystem.exists(copy.to)) {
        step.kind =
            copy.result == JournalMove::Result::moved ? UndoKind::notAtNewName : UndoKind::notMoved;
    } else if (!copy.hashed || !hashFile(fileSystem, copy.to, size, hash, step.message) ||
               size != copy.size || hash != copy.hash) {
        // Cut short before its result was written, the name may never have been the copy's (and
        // without its hash line it never was).
        step.kind = UndoKind::copyChanged;
    } else if (fileSystem.removeFile(copy.to)) {
        step.kind = UndoKind::copyDeleted;
    } else {
        step.kind = UndoKind::refused;
        step.message = "cannot delete the copy";
    }
    return step;
}

UndoStep undoMove(const JournalMove& move, FileSystem& fileSystem, MoveJournal* journal) {
    UndoStep step;
    step.newPath = move.to;
    step.oldPath = move.from;
    FileIdentity atNew;
    const bool newKnown = fileSystem.identifyPath(move.to, atNew);
    if (!move.identified) {
        step.kind = UndoKind::unidentified;
    } else if (newKnown && atNew == move.identity) {
        // Back into its folder, made again when the run being undone had deleted it.
        const MoveResult moved =
            placeFile(fileSystem, journal, move.to, move.from, &move.identity, Placement::move);
        step.kind = moved.status == MoveStatus::moved          ? UndoKind::reverted
                    : moved.status == MoveStatus::targetExists ? UndoKind::oldNameTaken
                                                               : UndoKind::refused;
        step.message = moved.message;
    } else if (removeClaim(move, fileSystem)) {
        step.kind = UndoKind::notMoved;
    } else {
        step.kind = fileSystem.exists(move.to) ? UndoKind::otherFile : UndoKind::notAtNewName;
    }
    return step;
}

} // namespace

void tidyKilledRun(const JournalRun& run, FileSystem& fileSystem,
                   const std::function<void(const UndoStep&)>& report) {
    for (const JournalMove& step : run.moves) {
        removeLeftover(step, fileSystem, report);
        if (removeClaim(step, fileSystem)) {
            report({UndoKind::notMoved, step.to, step.from, {}});
        }
    }
}

void RunJournal::tidyAfterKilledRuns() {
    const std::string folder = folder_.empty() ? files::userStateFolder() : folder_;
    const std::vector<std::string> runs = listRuns(fileSystem_, folder);
    // A kill leaves the last run or two unfinished; older ones were looked at by later runs.
    constexpr std::size_t kLooked = 3;
    for (std::size_t i = runs.size() > kLooked ? runs.size() - kLooked : 0; i < runs.size(); ++i) {
        // A run that ended well says so on its last line; only the others are read line by line.
        std::string message;
        const FileHandle file =
            fileSystem_.openForReading(folder + runs[i] + std::string(kSuffix), message);
        if (!file || endsComplete(file.get())) {
            continue;
        }
        JournalRun run;
        if (readRun(fileSystem_, folder, runs[i], run) && !run.complete) {
            tidyKilledRun(run, fileSystem_, [](const UndoStep&) {});
        }
    }
}

void undoRun(const JournalRun& run, FileSystem& fileSystem, MoveJournal* journal,
             const std::function<void(const UndoStep&)>& report) {
    for (std::size_t index = run.moves.size(); index-- > 0;) {
        const JournalMove& step = run.moves[index];
        if (step.result == JournalMove::Result::failed) {
            continue;
        }
        switch (step.kind) {
        case JournalMove::Kind::folder:
            report(undoFolder(run, index, fileSystem));
            break;
        case JournalMove::Kind::copy:
            removeLeftover(step, fileSystem, report);
            report(undoCopy(step, fileSystem));
            break;
        case JournalMove::Kind::move:
            report(undoMove(step, fileSystem, journal));
            break;
        }
        if (journal != nullptr && journal->halted()) {
            return;
        }
    }
}

} // namespace shotstamp
