// shotstamp-cli rename, run as a process: its report, its exit status and its options.
#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace shotstamp {
namespace {

using testing::jpegWithExif;
using testing::TempFolder;
using testing::writeFile;

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs the program's `command` with exactly these arguments (no shell), in `folder`; with
// `stateFolder`, its journals go there instead of the tests' shared one.
CliRun runCli(const std::vector<std::string>& arguments, const std::string& folder,
              const char* command = "rename", const std::string& stateFolder = {}) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], 1);
        ::close(pipeEnds[0]);
        if (::chdir(folder.c_str()) != 0 ||
            (!stateFolder.empty() && ::setenv("XDG_STATE_HOME", stateFolder.c_str(), 1) != 0)) {
            ::_exit(97);
        }
        std::vector<char*> argv{const_cast<char*>(SHOTSTAMP_CLI_PATH), const_cast<char*>(command)};
        for (const std::string& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(SHOTSTAMP_CLI_PATH, argv.data());
        ::_exit(96);
    }
    ::close(pipeEnds[1]);
    CliRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(CliRename, ReportsEachFileAndCounts) {
    TempFolder dir;
    writeFile(dir.path() + "-dash \"q\" \xE9.JPG", jpegWithExif("2005:12:30 20:57:32", "1"));
    writeFile(dir.path() + "same.jpg", jpegWithExif("2005:12:30 20:57:32", "2"));
    writeFile(dir.path() + "none.jpg", jpegWithExif(std::nullopt));
    writeFile(dir.path() + "text.jpg", "hello");
    std::string unreadable = jpegWithExif("2005:12:30 20:57:32", "3");
    unreadable[unreadable.find("II*") + 2] = '+'; // the TIFF header's 42 becomes 43
    writeFile(dir.path() + "bad.jpg", unreadable);

    const std::vector<std::string> args{"--prefix", "Trip ",    "--",       "-dash \"q\" \xE9.JPG",
                                        "same.jpg", "none.jpg", "text.jpg", "bad.jpg",
                                        "skip.txt"};
    const auto before = dir.contents();
    const CliRun dry = runCli({"--dry-run", "--prefix", "Trip ", "--", "-dash \"q\" \xE9.JPG",
                               "same.jpg", "none.jpg", "text.jpg", "bad.jpg", "skip.txt"},
                              dir.path());
    EXPECT_EQ(dir.contents(), before);

    const CliRun real = runCli(args, dir.path());
    EXPECT_EQ(real.status, 0);
    // The byte that is no UTF-8 is shown escaped; the file keeps it.
    EXPECT_EQ(real.out, "renamed: -dash \"q\" \\xE9.JPG -> Trip 2005-12-30 205732.jpg\n"
                        "kept: same.jpg (name exists)\n"
                        "kept: none.jpg (no date taken)\n"
                        "kept: text.jpg (not a JPEG)\n"
                        "kept: bad.jpg (unreadable EXIF block: Invalid Exif start (1))\n"
                        "1 renamed, 4 kept (1 name exists, 1 no date taken, 1 not a JPEG, "
                        "1 unreadable EXIF block)\n");
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, real.out);
    EXPECT_EQ(testing::checksums(dir.contents()), testing::checksums(before));
}

TEST(CliRename, AllInPathAndExitStatus) {
    TempFolder dir;
    ASSERT_EQ(::mkdir((dir.path() + "sub").c_str(), 0755), 0);
    writeFile(dir.path() + "sub/a.jpg", jpegWithExif("2001:01:01 01:01:01"));
    writeFile(dir.path() + "sub/b.jpg", jpegWithExif("2001:01:01 01:01:02"));
    const CliRun all = runCli({"--all-in-path", "sub/whatever.jpg"}, dir.path());
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("2 renamed, 0 kept\n"), std::string::npos) << all.out;

    // A file that cannot be read is a system error.
    const CliRun missing = runCli({"sub/missing.jpg"}, dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out.rfind("kept: sub/missing.jpg (cannot open: ", 0), 0u) << missing.out;

    const struct {
        std::vector<std::string> args;
        int status;
    } usage[] = {{{}, 2},
                 {{"--prefix"}, 2},
                 {{"--bogus", "a.jpg"}, 2},
                 {{"--jobs", "0", "a.jpg"}, 2},
                 {{"--jobs=65", "a.jpg"}, 2},
                 {{"--help"}, 0}};
    for (const auto& u : usage) {
        EXPECT_EQ(runCli(u.args, dir.path()).status, u.status);
    }
}

TEST(CliRename, OptionsAnywhereAndNamesThatStayInTheirFolder) {
    TempFolder dir;
    writeFile(dir.path() + "a.jpg", jpegWithExif("2005:12:30 20:57:32", "a"));
    writeFile(dir.path() + "new\nline.jpg", jpegWithExif("2006:01:01 00:00:00", "n"));
    ASSERT_EQ(::symlink("a.jpg", (dir.path() + "link.jpg").c_str()), 0);
    const auto before = dir.contents();
    for (const char* prefix : {"../", "sub/x", "..", ".", "a\tb", "\x7F"}) {
        EXPECT_EQ(runCli({"a.jpg", "--prefix", prefix}, dir.path()).status, 2) << prefix;
    }
    // One name over the file system's limit: the dry run says what the real run does.
    const std::vector<std::string> tooLong{"--prefix", std::string(250, 'x'), "a.jpg"};
    const CliRun dry = runCli({"--dry-run", tooLong[0], tooLong[1], tooLong[2]}, dir.path());
    const CliRun real = runCli(tooLong, dir.path());
    EXPECT_EQ(real.out, "kept: a.jpg (rename refused: File name too long)\n"
                        "0 renamed, 1 kept (1 rename refused)\n");
    EXPECT_EQ(dry.out, real.out);
    EXPECT_EQ(dir.contents(), before);

    const CliRun run = runCli({"new\nline.jpg", ".", "--prefix", "X "}, dir.path());
    EXPECT_EQ(run.status, 1); // the link was not handled
    EXPECT_EQ(run.out, "renamed: new\\x0Aline.jpg -> X 2006-01-01 000000.jpg\n"
                       "skipped: link.jpg (symbolic link, not followed)\n"
                       "renamed: a.jpg -> X 2005-12-30 205732.jpg\n"
                       "2 renamed, 0 kept\n");
    auto after = dir.contents();
    auto pictures = before;
    after.erase("link.jpg"); // it now leads nowhere
    pictures.erase("link.jpg");
    EXPECT_EQ(testing::checksums(after), testing::checksums(pictures));
}

TEST(CliRename, TemplatesJsonAndReruns) {
    TempFolder dir;
    writeFile(dir.path() + "IMG_0042.JPG", jpegWithExif("2005:12:30 20:57:32", "a"));
    writeFile(dir.path() + "IMG_0043.JPG", jpegWithExif("2005:12:30 20:57:32", "b"));
    const std::vector<std::string> format{"--format", "%Y%m%d-%H%M%S-%n%e", "--json", "."};
    const CliRun run = runCli(format, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("{\"old_path\":\"IMG_0042.JPG\",\"new_path\":"
                           "\"20051230-205732-IMG_0042.jpg\",\"outcome\":\"renamed\""),
              std::string::npos)
        << run.out;
    // The rerun finds every file named already (its stem is now the old name: %n grows no more).
    const CliRun again = runCli({"--format", "%Y%m%d-%H%M%S%e", "--counter", "."}, dir.path());
    const CliRun third = runCli({"--format", "%Y%m%d-%H%M%S%e", "--counter", "."}, dir.path());
    EXPECT_EQ(third.out, "kept: 20051230-205732-2.jpg (already named)\n"
                         "kept: 20051230-205732.jpg (already named)\n"
                         "0 renamed, 2 kept (2 already named)\n")
        << again.out;

    // Usage errors say why; a path past the system's limit is reported, never passed over.
    EXPECT_EQ(runCli({"--format", "%n%e", "."}, dir.path()).status, 2);
    EXPECT_EQ(runCli({"--format", "a/%Y%e", "."}, dir.path()).status, 2);
    EXPECT_EQ(runCli({"--only", "bmp", "."}, dir.path()).status, 2);
    const std::string deep(5000, 'x');
    const CliRun tooLong = runCli({deep + ".jpg"}, dir.path());
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_NE(tooLong.out.find("(cannot open: File name too long)"), std::string::npos);
}

TEST(CliRename, DateFoldersAreMadeFoundAgainAndTakenBack) {
    TempFolder dir;
    TempFolder state; // plain undo takes the last run: no other test's may come between
    writeFile(dir.path() + "a.jpg", jpegWithExif("2005:12:30 20:57:32", "a"));
    writeFile(dir.path() + "b.jpg", jpegWithExif("2006:01:02 03:04:05", "b"));
    const auto before = dir.contents();
    const CliRun run = runCli({"--into", "%Y/%m", "."}, dir.path(), "rename", state.path());
    EXPECT_EQ(run.out, "renamed: a.jpg -> 2005/12/2005-12-30 205732.jpg\n"
                       "renamed: b.jpg -> 2006/01/2006-01-02 030405.jpg\n"
                       "2 renamed, 0 kept\n");
    // A rerun over the whole tree finds every file where the template puts it.
    const CliRun again =
        runCli({"--into", "%Y/%m", "--recursive", "."}, dir.path(), "rename", state.path());
    EXPECT_EQ(again.out.substr(again.out.rfind('\n', again.out.size() - 2) + 1),
              "0 renamed, 2 kept (2 already named)\n")
        << again.out;
    // Undo puts the files back and removes the folders the run made, now empty.
    EXPECT_EQ(runCli({}, dir.path(), "undo", state.path()).status, 0);
    EXPECT_EQ(dir.contents(), before);

    // A card imported twice: the second run finds every copy made and copies nothing.
    const std::vector<std::string> import{"--copy", "--into", "lib/%Y", "a.jpg", "b.jpg"};
    EXPECT_EQ(runCli(import, dir.path()).out, "copied: a.jpg -> lib/2005/2005-12-30 205732.jpg\n"
                                              "copied: b.jpg -> lib/2006/2006-01-02 030405.jpg\n"
                                              "2 copied, 0 kept\n");
    EXPECT_EQ(runCli(import, dir.path()).out, "kept: a.jpg (already named)\n"
                                              "kept: b.jpg (already named)\n"
                                              "0 copied, 2 kept (2 already named)\n");
}

} // namespace
} // namespace shotstamp
