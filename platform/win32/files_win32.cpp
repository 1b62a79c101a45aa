#include "platform/files.h"

#include <windows.h>

namespace shotstamp::files {

namespace {

std::string messageOf(DWORD error) {
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error) : text;
}

} // namespace

std::FILE* openForReading(const std::string& path, std::string& message) {
    // The runtime's open refuses folders by itself; devices such as "con.jpg" are refused here.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        message = messageOf(GetLastError());
        return nullptr;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        message = messageOf(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        message = messageOf(GetLastError());
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
    return {MoveStatus::failed, messageOf(error)};
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    if (!state_->pending && !FindNextFileA(state_->handle, &state_->data)) {
        return false;
    }
    state_->pending = false;
    fileName = state_->data.cFileName;
    return true;
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

bool commandLineIsOneText() {
    return true;
}

} // namespace shotstamp::files
