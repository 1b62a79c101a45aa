#pragma once

// Puts the program into the desktop's "send to" menu and takes it out again. One header, one
// implementation per platform, chosen by CMake:
//   - Windows (shell/win32/): a shell link <Send To folder>\<linkName>.lnk made through COM,
//     removed with the shell's delete operation.
//   - Linux (shell/linux/shortcut_installer_linux.cpp): for folder id 9 the file managers' menus
//     under $XDG_DATA_HOME (default ~/.local/share):
//         Thunar/sendto/<linkName>.desktop
//         nautilus/scripts/<linkName>                (executable)
//         kio/servicemenus/<linkName>.desktop        (executable)
//         nemo/actions/<linkName>.nemo_action
//     never an application entry with a MimeType association.
// The installer keeps nothing between calls; every failure is a plain false.

#include <cstdint>
#include <string>
#include <string_view>

namespace shotstamp {

// The user's Send To folder.
inline constexpr std::int32_t kFolderSendTo = 9;
// As `target`, stands for the running program's own file (exact text, case-sensitive).
inline constexpr std::string_view kTargetThisProgram = "_this";

struct ShortcutRequest {
    std::string target;         // file the shortcut starts; "_this" is the running program
    std::string linkName;       // file name of the shortcut without extension
    std::int32_t folderId = 0;  // special-folder id; kFolderSendTo is the only one on Linux
    std::string description;    // stored even when empty
    std::string iconPath;       // empty: no icon location is stored
    std::int32_t iconIndex = 0; // used only with a non-empty iconPath
};

class ShortcutInstaller {
public:
    ShortcutInstaller() = default;
    virtual ~ShortcutInstaller() = default;
    ShortcutInstaller(const ShortcutInstaller&) = delete;
    ShortcutInstaller& operator=(const ShortcutInstaller&) = delete;

    // True exactly when the shortcut was saved (on Linux: every menu entry was written).
    // An existing shortcut of the same name is written over.
    bool create(const ShortcutRequest& request);
    // True exactly when the shortcut was deleted (on Linux: every entry that existed was
    // deleted, and at least one existed).
    bool remove(const std::string& linkName, std::int32_t folderId);
    // True with the folder's path, ending in the path separator, in folderPath; false with
    // folderPath left as it was.
    bool specialFolderPath(std::int32_t folderId, std::string& folderPath);
};

} // namespace shotstamp
