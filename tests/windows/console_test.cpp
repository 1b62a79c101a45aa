// The console seam of the command-line program, on a console of the test's own: the bytes the
// program writes in the ANSI code page must read back as the same characters from the console's
// screen, and the console must get its own code page back.

#include "platform/console.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// A fresh console, with standard output and standard error pointing at it for the test's
// duration. The handles CTest gave the program come back at the end.
class OwnConsole : public ::testing::Test {
protected:
    static constexpr DWORD kStandard[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    static constexpr UINT kOther = 850; // where the bytes of "Été" in 1252 read "╔tÚ"

    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            saved_[i] = GetStdHandle(kStandard[i]);
        }
        FreeConsole();
        ASSERT_TRUE(AllocConsole()) << GetLastError();
        screen_ =
            CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(screen_, INVALID_HANDLE_VALUE);
        SetStdHandle(STD_OUTPUT_HANDLE, screen_);
        SetStdHandle(STD_ERROR_HANDLE, screen_);
        ASSERT_NE(SetConsoleOutputCP(kOther), 0);
    }

    void TearDown() override {
        // FreeConsole may close the standard handles it takes for the console's own: none are
        // left for it, and CTest's come back afterwards.
        for (const DWORD which : kStandard) {
            SetStdHandle(which, nullptr);
        }
        if (screen_ != INVALID_HANDLE_VALUE) {
            CloseHandle(screen_);
        }
        FreeConsole();
        for (int i = 0; i < 3; ++i) {
            SetStdHandle(kStandard[i], saved_[i]);
        }
    }

    // Writes the bytes as the C runtime does for a console, then reads the characters the
    // console shows for them.
    std::wstring shown(const std::string& bytes) {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        EXPECT_TRUE(GetConsoleScreenBufferInfo(screen_, &info));
        DWORD written = 0;
        EXPECT_TRUE(
            WriteFile(screen_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        std::wstring text(bytes.size(), L'\0');
        DWORD read = 0;
        EXPECT_TRUE(ReadConsoleOutputCharacterW(
            screen_, text.data(), static_cast<DWORD>(text.size()), info.dwCursorPosition, &read));
        text.resize(read);
        return text;
    }

    HANDLE screen_ = INVALID_HANDLE_VALUE;
    HANDLE saved_[3] = {};
};

TEST_F(OwnConsole, ShowsTheProgramsBytesForTheRunThenGetsItsCodePageBack) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the name is written in code page 1252, the ANSI one is " << GetACP();
    }
    {
        const shotstamp::console::ProgramCodePage codePage;
        EXPECT_EQ(shown("\xC9t\xE9.jpg"), L"\u00C9t\u00E9.jpg");
    }
    EXPECT_EQ(GetConsoleOutputCP(), kOther);
}

TEST_F(OwnConsole, LeavesTheConsoleAloneWhenTheOutputGoesToPipes) {
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
    SetStdHandle(STD_OUTPUT_HANDLE, writer);
    SetStdHandle(STD_ERROR_HANDLE, writer);
    {
        const shotstamp::console::ProgramCodePage codePage;
        EXPECT_EQ(GetConsoleOutputCP(), kOther);
    }
    CloseHandle(reader);
    CloseHandle(writer);
}

} // namespace
