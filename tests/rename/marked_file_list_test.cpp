#include "rename/marked_file_list.h"

#include <cctype>
#include <gtest/gtest.h>
#include <ostream>
#include <utility>
#include <vector>

namespace shotstamp {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries takeAll(EntryList& list) {
    Entries out;
    std::string folder;
    std::string name;
    while (out.size() < 100 && list.takeNext(folder, name)) {
        out.emplace_back(folder, name);
    }
    return out;
}

struct CommandLineCase {
    const char* what;
    std::string text;
    Entries taken;
};

// Shown in failure messages and test listings instead of the struct's raw bytes.
void PrintTo(const CommandLineCase& c, std::ostream* out) {
    *out << c.text;
}

class MarkedFileListTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(MarkedFileListTest, TakesTheEntriesInOrder) {
    const CommandLineCase& c = GetParam();
    MarkedFileList list(c.text);
    EXPECT_EQ(takeAll(list), c.taken);

    // firstEntry sees the same first entry and removes nothing.
    MarkedFileList fresh(c.text);
    std::string folder;
    std::string name;
    const bool found = fresh.firstEntry(folder, name);
    EXPECT_EQ(found, !c.taken.empty());
    if (found && !c.taken.empty()) {
        EXPECT_EQ(std::make_pair(folder, name), c.taken.front());
        EXPECT_TRUE(fresh.firstEntry(folder, name));
        EXPECT_EQ(std::make_pair(folder, name), c.taken.front());
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, MarkedFileListTest,
    ::testing::Values(
        CommandLineCase{
            "quoted paths with spaces",
            R"("C:\My Photos\IMG_0001.JPG" "C:\My Photos\IMG_0002.JPG")",
            {{R"(c:\my photos\)", "img_0001.jpg"}, {R"(c:\my photos\)", "img_0002.jpg"}}},
        CommandLineCase{"one unquoted path with a space",
                        R"(C:\My Photos\IMG_0001.JPG)",
                        {{R"(c:\my photos\)", "img_0001.jpg"}}},
        CommandLineCase{"two unquoted",
                        R"(D:\P\1.jpg D:\Q\2.jpg)",
                        {{R"(d:\p\)", "1.jpg"}, {R"(d:\q\)", "2.jpg"}}},
        CommandLineCase{"unquoted then quoted",
                        R"(D:\P\1.jpg "D:\Trip 1\2.jpg")",
                        {{R"(d:\p\)", "1.jpg"}, {R"(d:\trip 1\)", "2.jpg"}}},
        CommandLineCase{"only the paths with blanks quoted, as the shell writes them",
                        R"("C:\My Photos\IMG_0001 - Copy.JPG" C:\B\2.jpg C:\B\3.jpg)",
                        {{R"(c:\my photos\)", "img_0001 - copy.jpg"},
                         {R"(c:\b\)", "2.jpg"},
                         {R"(c:\b\)", "3.jpg"}}},
        CommandLineCase{"tabs separate like blanks",
                        "D:\\P\\1.jpg\tD:\\P\\2.jpg\t\"D:\\P Q\\3.jpg\"",
                        {{R"(d:\p\)", "1.jpg"}, {R"(d:\p\)", "2.jpg"}, {R"(d:\p q\)", "3.jpg"}}},
        CommandLineCase{"a trailing non-jpg path ends the walk",
                        R"(D:\P\1.jpg D:\P\x.png)",
                        {{R"(d:\p\)", "1.jpg"}}},
        CommandLineCase{"no jpg at all", R"(C:\A\x.png C:\A\x.jpg.bak)", {}},
        CommandLineCase{"non-jpg paths before others are passed over",
                        R"("D:\My Docs\a.png" D:\P\b.gif "D:\P\c.jpg" D:\P\d.jpg)",
                        {{R"(d:\p\)", "c.jpg"}, {R"(d:\p\)", "d.jpg"}}},
        CommandLineCase{"an unquoted jpeg path joins the next folder",
                        R"(D:\P\x.jpeg D:\P\1.jpg)",
                        {{R"(d:\p\x.jpeg d:\p\)", "1.jpg"}}},
        CommandLineCase{"folder name holding .jpg and a blank",
                        R"(C:\a.jpg files\b.jpg)",
                        {{R"(c:\)", "a.jpg"}, {R"(files\)", "b.jpg"}}},
        CommandLineCase{
            "unquoted folder holding .jpg", R"(C:\pics.jpg\1.jpg)", {{R"(c:\pics.jpg\)", "1.jpg"}}},
        CommandLineCase{
            "quoted folder holding .jpg", R"("C:\pics.jpg\1.jpg")", {{R"(c:\pics.jpg\)", "1.jpg"}}},
        CommandLineCase{"unclosed quote runs to the end",
                        R"(D:\P\1.jpg "D:\P Q\2.jpg)",
                        {{R"(d:\p\)", "1.jpg"}, {R"(d:\p q\)", "2.jpg"}}},
        CommandLineCase{"no folder", "IMG_0001.JPG", {{"", "img_0001.jpg"}}},
        CommandLineCase{
            "tabs and quotes in front", "\t \"\"IMG_0001.JPG\"", {{"", "img_0001.jpg"}}},
        CommandLineCase{"empty", "", {}},
        CommandLineCase{"blanks and quotes only", " \" \t\"", {}}),
    [](const ::testing::TestParamInfo<CommandLineCase>& param) {
        std::string name;
        for (const char ch : std::string(param.param.what)) {
            name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(MarkedFileList, FiveByteMinimumAppliesOnlyToTakeNext) {
    MarkedFileList list(".JPG");
    std::string folder = "unchanged";
    std::string name = "unchanged";
    EXPECT_FALSE(list.takeNext(folder, name));
    ASSERT_TRUE(list.firstEntry(folder, name));
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, ".jpg");
}

TEST(ArgumentEntryList, TakesJpgArgumentsKeepingCase) {
    ArgumentEntryList list({"Trip/IMG_1.JPG", "notes.txt", "a b/c \"d\".Jpg", "/abs/dir/x.jpg.bak",
                            ".jpg", "/abs/Dir/IMG_2.jpg"});
    std::string folder;
    std::string name;
    ASSERT_TRUE(list.firstEntry(folder, name));
    EXPECT_EQ(folder, "Trip/");
    EXPECT_EQ(name, "IMG_1.JPG");
    EXPECT_EQ(takeAll(list), (Entries{{"Trip/", "IMG_1.JPG"},
                                      {"a b/", "c \"d\".Jpg"},
                                      {"", ".jpg"},
                                      {"/abs/Dir/", "IMG_2.jpg"}}));
    EXPECT_FALSE(list.firstEntry(folder, name));
}

} // namespace
} // namespace shotstamp
