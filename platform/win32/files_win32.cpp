#include "platform/files.h"
#include "platform/text.h"
#include "system_message.h"

#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>
#include <string_view>
#include <windows.h>

namespace shotstamp::files {

namespace {

// A DOS device name such as "aux.jpg" or "nul.jpg" in any folder names a device, not a file
// (before Windows 11 also with an extension): the full path of such a name is "\\.\<device>".
bool namesDosDevice(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full &&
           std::string_view(full, length).rfind("\\\\.\\", 0) == 0 &&
           std::string_view(path).rfind("\\\\.\\", 0) != 0;
}

} // namespace

std::FILE* openForReading(const std::string& path, std::string& message) {
    // A device is never opened: opening or reading one ("aux.jpg") can block for ever.
    if (namesDosDevice(path)) {
        message = messageOf(ERROR_INVALID_NAME);
        return nullptr;
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened.
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        message = messageOf(GetLastError());
        return nullptr;
    }
    // Pipes and other devices reached through "\\.\" paths are refused as well.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        message = messageOf(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        message = messageOf(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    // From here the stream owns the handle.
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) {
        _close(fd);
        message = messageOf(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

MoveResult moveNoReplace(const std::string& from, const std::string& to) {
    // MoveFileA never replaces an existing file.
    if (MoveFileA(from.c_str(), to.c_str())) {
        return {MoveStatus::moved, {}};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return {MoveStatus::targetExists, {}};
    }
    if (error == ERROR_NOT_SAME_DEVICE) {
        return {MoveStatus::failed, kOtherFileSystem};
    }
    return {MoveStatus::failed, messageOf(error)};
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

bool identityOf(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    return true;
}

} // namespace

bool identifyOpenFile(std::FILE* file, FileIdentity& identity) {
    if (file == nullptr) {
        return false;
    }
    const std::intptr_t handle = _get_osfhandle(_fileno(file));
    return handle != -1 && identityOf(reinterpret_cast<HANDLE>(handle), identity);
}

bool identifyPath(const std::string& path, FileIdentity& identity) {
    if (namesDosDevice(path)) {
        return false;
    }
    // No access asked for, so a picture another program holds open can still be asked about.
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = identityOf(handle, identity);
    CloseHandle(handle);
    return known;
}

std::FILE* openIdentified(const std::string& path, std::string& message, FileIdentity& identity,
                          bool& identified) {
    std::FILE* file = openForReading(path, message);
    identified = file != nullptr && identifyOpenFile(file, identity);
    return file;
}

// The enumeration runs while the folder's pictures are renamed, as FindNextFileA allows.
struct Enumeration::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool pending = false;
};

Enumeration::Enumeration(const std::string& folder) : state_(std::make_unique<State>()) {
    const std::string pattern = folder + "*.jpg";
    state_->handle = FindFirstFileA(pattern.c_str(), &state_->data);
    state_->pending = state_->handle != INVALID_HANDLE_VALUE;
}

Enumeration::~Enumeration() {
    if (state_->handle != INVALID_HANDLE_VALUE) {
        FindClose(state_->handle);
    }
}

bool Enumeration::valid() const {
    return state_->handle != INVALID_HANDLE_VALUE;
}

bool Enumeration::next(std::string& fileName) {
    if (state_->handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The pattern also matches a name whose 8.3 short form ends in ".JPG" (x.jpeg,
    // IMG.JPG_original): only a long name that itself ends in ".jpg" is given.
    do {
        if (!state_->pending && !FindNextFileA(state_->handle, &state_->data)) {
            return false;
        }
        state_->pending = false;
    } while (!text::endsWithJpg(state_->data.cFileName));
    fileName = state_->data.cFileName;
    return true;
}

bool nameFits(const std::string& path, std::string& message) {
    // The ANSI calls take MAX_PATH characters with the terminator; a part of a path takes 255.
    std::size_t part = 0;
    for (const char c : path) {
        part = isPathSeparator(c) ? 0 : part + 1;
        if (part > 255) {
            break;
        }
    }
    if (part <= 255 && path.size() < MAX_PATH) {
        return true;
    }
    message = messageOf(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

bool nameByteAllowed(unsigned char byte) {
    if (byte < 32) {
        return false;
    }
    switch (byte) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '/':
    case '\\':
    case '|':
    case '?':
    case '*':
        return false;
    default:
        return true;
    }
}

std::string runningProgramPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

bool commandLineIsOneText() {
    return true;
}

bool listFolder(const std::string& folder, FolderListing& entries) {
    WIN32_FIND_DATAA data{};
    const HANDLE handle = FindFirstFileA((folder + "*").c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    bool complete = true;
    do {
        const std::string_view name(data.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        const DWORD attributes = data.dwFileAttributes;
        const EntryKind kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::link
                               : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::folder
                                                                                : EntryKind::file;
        // The find data carries no file index: 0 leaves the query to whoever needs it.
        complete = entries.add(name, kind);
    } while (complete && FindNextFileA(handle, &data));
    FindClose(handle);
    return complete;
}

EntryKind kindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.empty() ? "." : path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return EntryKind::missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::folder : EntryKind::file;
}

bool folderIdentity(const std::string& folder, std::uint64_t& volume, std::uint64_t& index) {
    const HANDLE handle = CreateFileA(folder.empty() ? "." : folder.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return ok;
}

std::string absolutePath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length =
        GetFullPathNameA(path.empty() ? "." : path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) {
        return path;
    }
    std::string out(full, length);
    if (path.empty() && out.back() != '\\') {
        out.push_back('\\');
    }
    return out;
}

std::string nameOnDisk(const std::string& path) {
    WIN32_FIND_DATAA data{};
    // No wildcard may reach the search: it would find another file.
    if (path.find_first_of("*?") != std::string::npos) {
        return path;
    }
    const HANDLE handle = FindFirstFileA(path.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return path;
    }
    FindClose(handle);
    std::size_t cut = path.size();
    while (cut > 0 && !isPathSeparator(path[cut - 1]) && path[cut - 1] != ':') {
        --cut;
    }
    return path.substr(0, cut) + data.cFileName;
}

std::FILE* createNew(const std::string& path, std::string& message) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        message = messageOf(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        message = messageOf(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        message = messageOf(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

bool writeAll(std::FILE* file, std::string_view text, std::string& message) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
        const DWORD error = GetLastError();
        message = messageOf(error != 0 ? error : ERROR_WRITE_FAULT);
        std::clearerr(file);
        return false;
    }
    return true;
}

bool syncData(std::FILE* file, std::string& message) {
    const std::intptr_t handle = _get_osfhandle(_fileno(file));
    if (handle == -1 || !FlushFileBuffers(reinterpret_cast<HANDLE>(handle))) {
        message = messageOf(GetLastError());
        return false;
    }
    return true;
}

bool syncFolder(const std::string&, std::string&) {
    // NTFS logs a new entry of a folder itself; flushing the file made it durable.
    return true;
}

bool removeFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool createFolder(const std::string& path, std::string& message) {
    if (namesDosDevice(path) || !CreateDirectoryA(path.c_str(), nullptr)) {
        message = messageOf(namesDosDevice(path) ? ERROR_INVALID_NAME : GetLastError());
        return false;
    }
    return true;
}

bool removeEmptyFolder(const std::string& path) {
    return RemoveDirectoryA(path.c_str()) != 0;
}

bool removeUnlessInUse(const std::string& path) {
    // A journal being written is open without FILE_SHARE_DELETE: deleting it fails.
    return DeleteFileA(path.c_str()) != 0;
}

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

std::string userStateFolder() {
    // %LOCALAPPDATA%, else the shell's local application data folder.
    std::string base;
    char buffer[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", buffer, sizeof buffer);
    if (length > 0 && length < sizeof buffer) {
        base.assign(buffer, length);
    } else if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                          SHGFP_TYPE_CURRENT, buffer))) {
        base = buffer;
    } else {
        return {};
    }
    if (!base.empty() && base.back() != '\\') {
        base.push_back('\\');
    }
    const std::string folder = base + "Shotstamp\\";
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return {};
    }
    return kindOf(folder) == EntryKind::folder ? folder : std::string();
}

} // namespace shotstamp::files
