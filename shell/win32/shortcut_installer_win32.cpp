// The Send To shortcut on Windows: a shell link saved through COM, deleted with the shell's
// file operation. Every failure is a plain false; nothing is shown.

#include "shell/shortcut_installer.h"

#include <windows.h>
// The shell headers build on <windows.h>.
#include <shellapi.h>
#include <shlobj.h>

namespace shotstamp {

namespace {

constexpr char kLinkExtension[] = ".lnk";

std::string linkPathIn(const std::string& folder, const std::string& linkName) {
    return folder + linkName + kLinkExtension;
}

// Frees an item ID list through the shell's allocator.
void freeIdList(LPITEMIDLIST idList) {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(idList);
        allocator->Release();
    } else {
        // The shell allocator is the COM task allocator.
        CoTaskMemFree(idList);
    }
}

} // namespace

bool ShortcutInstaller::specialFolderPath(std::int32_t folderId, std::string& folderPath) {
    LPITEMIDLIST idList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &idList))) {
        return false;
    }
    char path[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListA(idList, path);
    freeIdList(idList);
    if (!found) {
        return false;
    }
    // Appended even to a drive root, which already ends in one.
    folderPath = std::string(path) + "\\";
    return true;
}

bool ShortcutInstaller::create(const ShortcutRequest& request) {
    std::string folder;
    if (!specialFolderPath(request.folderId, folder)) {
        return false;
    }
    const std::string linkPath = linkPathIn(folder, request.linkName);

    std::string target = request.target;
    if (target == kTargetThisProgram) {
        char ownPath[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
        target = ownPath;
    }

    // Left initialised for the rest of the process, as the shell link needs an apartment.
    CoInitialize(nullptr);

    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    link->SetPath(target.c_str());
    link->SetDescription(request.description.c_str());

    bool saved = false;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR widePath[MAX_PATH];
        // 0 means the path did not fit (or did not convert): saving a truncated or unterminated
        // name would put the shortcut somewhere else, so nothing is saved.
        const int units =
            MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, linkPath.c_str(), -1, widePath, MAX_PATH);
        if (!request.iconPath.empty()) {
            link->SetIconLocation(request.iconPath.c_str(), request.iconIndex);
        }
        if (units > 0) {
            saved = SUCCEEDED(file->Save(widePath, TRUE));
        }
        file->Release();
    }
    link->Release();
    return saved;
}

bool ShortcutInstaller::remove(const std::string& linkName, std::int32_t folderId) {
    std::string folder;
    if (!specialFolderPath(folderId, folder)) {
        return false;
    }
    // A single path plus one NUL; the terminator the string keeps makes the closing second NUL.
    std::string sources = linkPathIn(folder, linkName);
    sources.push_back('\0');

    SHFILEOPSTRUCTA operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = sources.c_str();
    operation.pTo = nullptr;
    // No FOF_ALLOWUNDO: deleted outright, not moved to the recycle bin.
    operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_NOCONFIRMATION | FOF_NOERRORUI);
    return SHFileOperationA(&operation) == 0;
}

} // namespace shotstamp
