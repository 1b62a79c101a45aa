#include "platform/files.h"
#include "platform/text.h"
#include "shell/shortcut_installer.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace shotstamp {

// The program's 48-pixel PNG icon, compiled in from res/icons.
extern const std::string_view kIconPng48;

namespace fs = std::filesystem;

namespace {

enum class EntryKind { thunar, nautilus, dolphin, nemo };

struct MenuEntry {
    EntryKind kind;
    const char* folder; // below the data folder
    const char* suffix;
    bool executable;
};

// Thunar's Send To, Nautilus scripts, Dolphin service menus and Nemo actions. No entry under
// applications/: the program must never become anybody's default picture program.
constexpr std::array<MenuEntry, 4> kEntries{{
    {EntryKind::thunar, "Thunar/sendto/", ".desktop", false},
    {EntryKind::nautilus, "nautilus/scripts/", "", true},
    {EntryKind::dolphin, "kio/servicemenus/", ".desktop", true},
    {EntryKind::nemo, "nemo/actions/", ".nemo_action", false},
}};

constexpr const char* kDefaultComment = "Rename the pictures after the moment they were taken";

// The program's icon in the user's icon theme, named as the package names its own, so that the
// entries can name it whether or not the package is installed.
constexpr const char* kIconName = "shotstamp";
constexpr const char* kIconFile = "icons/hicolor/48x48/apps/shotstamp.png";

// A word for a desktop entry's Exec line: quoted when it holds a reserved character, with
// '"', '`', '$' and '\' escaped inside the quotes, and '%' doubled (field codes).
std::string desktopExecWord(const std::string& word) {
    constexpr std::string_view reserved = " \t\"'\\><~|&;$*?#()`";
    bool quote = word.empty();
    std::string body;
    for (const char c : word) {
        if (reserved.find(c) != std::string_view::npos) {
            quote = true;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            body += '\\';
        }
        body += c;
        if (c == '%') {
            body += '%';
        }
    }
    return quote ? "\"" + body + "\"" : body;
}

// Every '%' written twice, as Nemo reads a literal percent sign in Exec.
std::string percentDoubled(const std::string& text) {
    std::string doubled;
    for (const char c : text) {
        doubled += c;
        if (c == '%') {
            doubled += '%';
        }
    }
    return doubled;
}

// A value of a key file of string type: backslash, and the control characters a line cannot
// hold, escaped.
std::string keyFileValue(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    if (!escaped.empty() && escaped.front() == ' ') {
        escaped = "\\s" + escaped.substr(1);
    }
    return escaped;
}

// The system data folders of the XDG base directories, each ending in '/', the data home left
// out.
std::vector<std::string> systemDataFolders(const std::string& dataHome) {
    const char* list = std::getenv("XDG_DATA_DIRS");
    std::string text = list != nullptr && list[0] != '\0' ? list : "/usr/local/share/:/usr/share/";
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(':', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string folder = text.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/') {
            continue; // relative entries are invalid
        }
        if (folder.back() != '/') {
            folder += '/';
        }
        if (fs::path(folder).lexically_normal() != fs::path(dataHome).lexically_normal()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

// An element of a key file's string list: ';' separates elements.
std::string keyFileListElement(const std::string& value) {
    std::string escaped;
    for (const char c : keyFileValue(value)) {
        if (c == ';') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped + ";";
}

std::string entryText(EntryKind kind, const std::string& target, const ShortcutRequest& request,
                      const std::string& dataHome) {
    const std::string name = keyFileValue(request.linkName);
    const std::string comment =
        keyFileValue(request.description.empty() ? kDefaultComment : request.description);
    // Without an icon of its own the entry shows the program's, as a shortcut on Windows does.
    const std::string iconValue =
        request.iconPath.empty() ? std::string(kIconName) : keyFileValue(request.iconPath);
    const std::string icon = "Icon=" + iconValue + "\n";
    switch (kind) {
    case EntryKind::thunar: {
        // GLib drops an entry whose first Exec word is no program, and looks for it before
        // turning "%%" back into '%'; such a path goes to the shell as an argument instead.
        const std::string command = target.find('%') == std::string::npos
                                        ? desktopExecWord(target)
                                        : "/bin/sh -c " + desktopExecWord("exec \"$0\" \"$@\"") +
                                              " " + desktopExecWord(target);
        return "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + name +
               "\nComment=" + comment + "\n" + icon + "Exec=" + keyFileValue(command) +
               " %F\nMimeType=image/jpeg;\nNoDisplay=true\n";
    }
    case EntryKind::nautilus:
        // Nautilus starts scripts through GLib's launcher, which takes '%' in the names as field
        // codes; the list it puts into the environment, one path a line, holds them intact.
        // Remote folders have no paths there: then the arguments are all there is.
        return "#!/bin/sh\n# " + comment +
               "\nif [ -n \"$NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\" ]; then\n"
               "    set -f\n    IFS='\n'\n"
               "    set -- $NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\nfi\nexec " +
               text::singleQuoted(target) + " \"$@\"\n";
    case EntryKind::dolphin:
        // A KDE service file, not an application entry: desktop-file-validate does not know
        // this type. Dolphin refuses to start a program whose path it reads in double quotes
        // with '$' or '%' in it; within single quotes it takes every character as it is.
        return "[Desktop "
               "Entry]\nType=Service\nMimeType=image/jpeg;\nX-KDE-ServiceTypes=KonqPopupMenu/"
               "Plugin\n"
               "Actions=shotstamp;\n\n[Desktop Action shotstamp]\nName=" +
               name + "\n" + icon + "Exec=" + keyFileValue(text::singleQuoted(target)) + " %F\n";
    case EntryKind::nemo: {
        // Nemo hands Exec to GLib's command-line parser after replacing its '%' codes (%F by
        // the paths, each in double quotes; "%%" by '%'), quotes or no quotes. Nemo shows a
        // system-wide action beside a per-user one of the same name, so this one stands back while
        // a system folder holds one ('!': the file must be absent).
        std::string hiddenBy;
        for (const std::string& folder : systemDataFolders(dataHome)) {
            hiddenBy += keyFileListElement("!" + folder + "nemo/actions/" + request.linkName +
                                           ".nemo_action");
        }
        return "[Nemo Action]\nActive=true\nName=" + name + "\nComment=" + comment +
               "\nIcon-Name=" + iconValue +
               "\nExec=" + keyFileValue(percentDoubled(text::singleQuoted(target))) +
               " %F\nSelection=notnone\nMimetypes=image/jpeg;\nQuote=double\n" +
               (hiddenBy.empty() ? std::string() : "Dependencies=" + hiddenBy + "\n");
    }
    }
    return {};
}

// Writes beside the final name and renames over it, so a reader never sees half an entry.
bool writeEntry(const fs::path& path, const std::string& text, bool executable) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        return false;
    }
    fs::path temporary = path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    const fs::perms mode = executable ? fs::perms(0755) : fs::perms(0644);
    fs::permissions(temporary, mode, fs::perm_options::replace, error);
    if (!error) {
        fs::rename(temporary, path, error);
    }
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

} // namespace

bool ShortcutInstaller::specialFolderPath(std::int32_t folderId, std::string& folderPath) {
    if (folderId != kFolderSendTo) {
        return false;
    }
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored.
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            return false;
        }
        base = std::string(home) + "/.local/share";
    }
    folderPath = base + "/";
    return true;
}

bool ShortcutInstaller::create(const ShortcutRequest& request) {
    std::string folder;
    if (!specialFolderPath(request.folderId, folder)) {
        return false;
    }
    const std::string target =
        request.target == kTargetThisProgram ? files::runningProgramPath() : request.target;
    // A line break cannot be carried through every menu's command line; a name with a slash
    // would land in another folder.
    if (target.empty() || target.find_first_of("\n\r") != std::string::npos ||
        request.linkName.empty() || request.linkName.find('/') != std::string::npos ||
        request.linkName == "." || request.linkName == "..") {
        return false;
    }
    bool all = true;
    for (const MenuEntry& entry : kEntries) {
        const fs::path path = folder + entry.folder + request.linkName + entry.suffix;
        all = writeEntry(path, entryText(entry.kind, target, request, folder), entry.executable) &&
              all;
    }
    if (request.iconPath.empty()) {
        all = writeEntry(folder + kIconFile, std::string(kIconPng48), false) && all;
    }
    return all;
}

bool ShortcutInstaller::remove(const std::string& linkName, std::int32_t folderId) {
    std::string folder;
    if (!specialFolderPath(folderId, folder)) {
        return false;
    }
    if (linkName.empty() || linkName.find('/') != std::string::npos) {
        return false;
    }
    bool anyExisted = false;
    bool allDeleted = true;
    std::vector<fs::path> paths{folder + kIconFile};
    for (const MenuEntry& entry : kEntries) {
        paths.push_back(folder + entry.folder + linkName + entry.suffix);
    }
    for (const fs::path& path : paths) {
        std::error_code error;
        if (!fs::exists(fs::symlink_status(path, error))) {
            continue;
        }
        anyExisted = true;
        if (!fs::remove(path, error) || error) {
            allDeleted = false;
        }
    }
    return anyExisted && allDeleted;
}

} // namespace shotstamp
