// ShortcutInstaller on Linux: the four file-manager entries in a private XDG_DATA_HOME, their
// command lines as GLib and the shell split them, and install/uninstall results.

#include "shell/shortcut_installer.h"
#include "tests/support/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace shotstamp {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const std::vector<std::string> kEntries = {
    "Thunar/sendto/Shotstamp.desktop", "kio/servicemenus/Shotstamp.desktop",
    "nautilus/scripts/Shotstamp", "nemo/actions/Shotstamp.nemo_action",
    "icons/hicolor/48x48/apps/shotstamp.png"};

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        hadOld_ = old != nullptr;
        old_ = hadOld_ ? old : "";
        ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_) {
            ::setenv("XDG_DATA_HOME", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }

    static ShortcutRequest request(const std::string& target) {
        ShortcutRequest r;
        r.target = target;
        r.linkName = "Shotstamp";
        r.folderId = kFolderSendTo;
        r.iconIndex = 1;
        return r;
    }
    std::string path(const std::string& below) const { return data_.path() + below; }

    // Every file below the data folder, relative.
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(data_.path())) {
            if (entry.is_regular_file()) {
                out.push_back(fs::relative(entry.path(), data_.path()).string());
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // The Exec value of a key file as the file managers read it, split by GLib's parser; with
    // fieldCodes, "%%" becomes '%' first, as Thunar and Nemo do everywhere in the line (Dolphin
    // does not inside single quotes).
    static std::vector<std::string> execWords(const std::string& file, const char* group,
                                              bool fieldCodes = true) {
        GKeyFile* keys = g_key_file_new();
        std::vector<std::string> words;
        if (g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
            gchar* exec = g_key_file_get_string(keys, group, "Exec", nullptr);
            std::string line = exec != nullptr ? exec : "";
            for (std::size_t at = 0; fieldCodes && (at = line.find("%%", at)) != line.npos; ++at) {
                line.erase(at, 1);
            }
            gchar** argv = nullptr;
            gint argc = 0;
            if (exec != nullptr && g_shell_parse_argv(line.c_str(), &argc, &argv, nullptr)) {
                words.assign(argv, argv + argc);
                g_strfreev(argv);
            }
            g_free(exec);
        }
        g_key_file_free(keys);
        return words;
    }

    TempFolder data_;
    bool hadOld_ = false;
    std::string old_;
};

bool executable(const std::string& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

std::vector<std::string> sortedEntries() {
    std::vector<std::string> sorted = kEntries;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

TEST_F(Installer, WritesEveryEntryOnceAndNoApplicationEntry) {
    ShortcutInstaller installer;
    ASSERT_TRUE(installer.create(request("/usr/bin/shotstamp")));
    const std::vector<std::string> first = files();
    std::vector<std::string> contents;
    for (const std::string& entry : kEntries) {
        contents.push_back(readFile(path(entry)));
    }
    ASSERT_TRUE(installer.create(request("/usr/bin/shotstamp")));
    EXPECT_EQ(files(), first);
    EXPECT_EQ(files(), sortedEntries());
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        EXPECT_EQ(readFile(path(kEntries[i])), contents[i]) << kEntries[i];
    }
    EXPECT_FALSE(fs::exists(path("applications")));
    EXPECT_TRUE(executable(path("nautilus/scripts/Shotstamp")));
    EXPECT_TRUE(executable(path("kio/servicemenus/Shotstamp.desktop")));
    EXPECT_NE(readFile(path("Thunar/sendto/Shotstamp.desktop")).find("MimeType=image/jpeg;"),
              std::string::npos);
    // Every menu names the icon written beside them.
    EXPECT_EQ(readFile(path("icons/hicolor/48x48/apps/shotstamp.png")).substr(0, 8),
              "\x89PNG\r\n\x1a\n");
    EXPECT_NE(readFile(path("kio/servicemenus/Shotstamp.desktop")).find("\nIcon=shotstamp\n"),
              std::string::npos);
    EXPECT_NE(readFile(path("nemo/actions/Shotstamp.nemo_action")).find("\nIcon-Name=shotstamp\n"),
              std::string::npos);
}

// The per-user Nemo action hides itself while a system data folder holds one of the same name.
TEST_F(Installer, NemoActionStandsBackForTheSystemWideOne) {
    const char* old = std::getenv("XDG_DATA_DIRS");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("XDG_DATA_DIRS", ("/opt/a;b:relative:/usr/share:" + data_.path()).c_str(), 1);
    ShortcutInstaller installer;
    const bool created = installer.create(request("/usr/bin/shotstamp"));
    old != nullptr ? ::setenv("XDG_DATA_DIRS", saved.c_str(), 1) : ::unsetenv("XDG_DATA_DIRS");
    ASSERT_TRUE(created);
    GKeyFile* keys = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_file(keys, path("nemo/actions/Shotstamp.nemo_action").c_str(),
                                          G_KEY_FILE_NONE, nullptr));
    gchar** list =
        g_key_file_get_string_list(keys, "Nemo Action", "Dependencies", nullptr, nullptr);
    const std::vector<std::string> hiddenBy(list,
                                            list + (list != nullptr ? g_strv_length(list) : 0));
    g_strfreev(list);
    g_key_file_free(keys);
    EXPECT_EQ(hiddenBy,
              (std::vector<std::string>{"!/opt/a;b/nemo/actions/Shotstamp.nemo_action",
                                        "!/usr/share/nemo/actions/Shotstamp.nemo_action"}));
}

// Paths with blanks, both quotes, dollar signs, backticks and backslashes come back whole from
// every parser that reads them.
TEST_F(Installer, ExecLinesSplitBackToTheExactProgramPath) {
    const std::vector<std::string> targets = {
        "/usr/bin/shotstamp",
        "/home/a user/my tools/shotstamp",
        "/opt/it's \"quoted\"/shot$HOME stamp",
        "/opt/back\\slash/`tick`/$(x)/shotstamp",
        "/opt/semi;colon&amp/#hash/*star?/shotstamp",
        "/opt/100% $x/%F %%/shotstamp",
    };
    for (const std::string& target : targets) {
        ShortcutInstaller installer;
        ASSERT_TRUE(installer.create(request(target))) << target;
        const std::vector<std::string> expected = {target, "%F"};
        // A path with '%' reaches Thunar's launcher through the shell, as its $0.
        std::vector<std::string> thunar =
            execWords(path("Thunar/sendto/Shotstamp.desktop"), "Desktop Entry");
        if (target.find('%') != std::string::npos && thunar.size() == 5 && thunar[0] == "/bin/sh" &&
            thunar[1] == "-c" && thunar[2] == "exec \"$0\" \"$@\"") {
            thunar.erase(thunar.begin(), thunar.begin() + 3);
        }
        EXPECT_EQ(thunar, expected) << target;
        EXPECT_EQ(execWords(path("kio/servicemenus/Shotstamp.desktop"), "Desktop Action shotstamp",
                            false),
                  expected)
            << target;
        EXPECT_EQ(execWords(path("nemo/actions/Shotstamp.nemo_action"), "Nemo Action"), expected)
            << target;
    }
}

TEST_F(Installer, ThunarEntryPassesDesktopFileValidate) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "desktop-file-validate is not installed (package desktop-file-utils)";
    }
    for (const std::string target : {"/usr/bin/shotstamp", "/opt/it's \"a\" $dir/shotstamp"}) {
        ShortcutInstaller installer;
        ShortcutRequest r = request(target);
        r.description = "Rename by date";
        ASSERT_TRUE(installer.create(r));
        const std::string command =
            "desktop-file-validate '" + path("Thunar/sendto/Shotstamp.desktop") + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << target;
    }
}

// The Nautilus script runs the program with the selected files, unchanged: from Nautilus's list
// of paths when it has one (split at line breaks only), else from its own arguments.
TEST_F(Installer, NautilusScriptPassesTheFilesThrough) {
    TempFolder programs;
    const std::string folder = programs.path() + "it's a \"$HOME\" dir";
    fs::create_directories(folder);
    const std::string program = folder + "/record args";
    const std::string log = programs.path() + "args.txt";
    writeFile(program,
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + log + "'\n");
    fs::permissions(program, fs::perms(0755));
    ShortcutInstaller installer;
    ASSERT_TRUE(installer.create(request(program)));
    const std::string run =
        "'" + path("nautilus/scripts/Shotstamp") + "' '/p/a b.jpg' '/p/$x.JPG' '/p/q\"uote.jpg'";
    ::setenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS", "", 1);
    ASSERT_EQ(std::system(run.c_str()), 0);
    EXPECT_EQ(readFile(log), "/p/a b.jpg\n/p/$x.JPG\n/p/q\"uote.jpg\n");
    ::setenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS", "/p/100% *.jpg\n/p/a\tb  $x.jpg\n/*\n", 1);
    const int status = std::system(run.c_str());
    ::unsetenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(log), "/p/100% *.jpg\n/p/a\tb  $x.jpg\n/*\n");
}

TEST_F(Installer, ThisStandsForTheRunningProgramOnlyWhenExact) {
    ShortcutInstaller installer;
    ASSERT_TRUE(installer.create(request("_this")));
    const std::vector<std::string> words =
        execWords(path("Thunar/sendto/Shotstamp.desktop"), "Desktop Entry");
    ASSERT_EQ(words.size(), 2U);
    EXPECT_EQ(words[0], fs::read_symlink("/proc/self/exe").string());
    for (const std::string literal : {"_This", "_this "}) {
        ASSERT_TRUE(installer.create(request(literal)));
        EXPECT_EQ(execWords(path("Thunar/sendto/Shotstamp.desktop"), "Desktop Entry")[0], literal);
    }
}

TEST_F(Installer, RemoveDeletesWhatExistsAndReportsWhetherAnythingWasThere) {
    ShortcutInstaller installer;
    EXPECT_FALSE(installer.remove("Shotstamp", kFolderSendTo));
    ASSERT_TRUE(installer.create(request("/usr/bin/shotstamp")));
    writeFile(path("Thunar/sendto/Other.desktop"), "[Desktop Entry]\n");
    ASSERT_TRUE(fs::remove(path("nemo/actions/Shotstamp.nemo_action")));
    EXPECT_TRUE(installer.remove("Shotstamp", kFolderSendTo));
    EXPECT_EQ(files(), std::vector<std::string>{"Thunar/sendto/Other.desktop"});
    EXPECT_FALSE(installer.remove("Shotstamp", kFolderSendTo));
    EXPECT_EQ(files(), std::vector<std::string>{"Thunar/sendto/Other.desktop"});
}

TEST_F(Installer, UnknownFolderOrUnusableNamesWriteNothing) {
    ShortcutInstaller installer;
    ShortcutRequest wrongFolder = request("/usr/bin/shotstamp");
    wrongFolder.folderId = 5;
    ShortcutRequest slash = request("/usr/bin/shotstamp");
    slash.linkName = "../escape";
    ShortcutRequest lineBreak = request("/usr/bin/shot\nstamp");
    for (const ShortcutRequest& r : {wrongFolder, slash, lineBreak}) {
        EXPECT_FALSE(installer.create(r)) << r.linkName << " " << r.target;
    }
    EXPECT_FALSE(installer.remove("Shotstamp", 5));
    EXPECT_TRUE(files().empty());

    std::string folder = "unchanged";
    EXPECT_FALSE(installer.specialFolderPath(5, folder));
    EXPECT_EQ(folder, "unchanged");
    EXPECT_TRUE(installer.specialFolderPath(kFolderSendTo, folder));
    EXPECT_EQ(folder, data_.path() + "/"); // the separator is always appended
}

TEST_F(Installer, RelativeDataHomeFallsBackToTheHomeFolder) {
    const char* home = std::getenv("HOME");
    ::setenv("XDG_DATA_HOME", "relative/share", 1);
    std::string folder;
    ShortcutInstaller installer;
    if (home != nullptr && home[0] == '/') {
        EXPECT_TRUE(installer.specialFolderPath(kFolderSendTo, folder));
        EXPECT_EQ(folder, std::string(home) + "/.local/share/");
    }
}

TEST_F(Installer, FolderThatCannotBeWrittenFailsTheInstall) {
    if (::geteuid() == 0) {
        // Root writes anywhere; block the folder with a file instead.
        writeFile(path("nemo"), "not a folder");
    } else {
        fs::create_directories(path("nemo"));
        fs::permissions(path("nemo"), fs::perms(0555));
    }
    ShortcutInstaller installer;
    EXPECT_FALSE(installer.create(request("/usr/bin/shotstamp")));
    // The others are written all the same.
    EXPECT_TRUE(fs::exists(path("Thunar/sendto/Shotstamp.desktop")));
}

} // namespace
} // namespace shotstamp
