#include "naming/name_template.h"
#include "rename/date_stamp.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace shotstamp::naming {
namespace {

const PathRules kPosix{};
const PathRules kWindows{true, true, nullptr};

NameFields sample() {
    NameFields f;
    f.year = 2005;
    f.month = 12;
    f.day = 30;
    f.hour = 20;
    f.minute = 57;
    f.second = 32;
    f.subseconds = "057";
    f.hasOffset = true;
    f.offsetMinutes = 120;
    f.stem = "IMG_0042";
    f.extension = ".jpg";
    f.prefix = "Trip ";
    return f;
}

std::string renderOk(std::string_view text, const NameFields& fields,
                     TemplateUse use = TemplateUse::fileName, const PathRules& rules = kPosix) {
    NameTemplate t;
    std::string error;
    EXPECT_TRUE(t.compile(text, use, rules, error)) << text << ": " << error;
    std::string out;
    const Rendered r = t.render(fields, out);
    EXPECT_TRUE(r.ok) << text << ": " << r.error;
    return out;
}

TEST(NameTemplate, DefaultGivesTodaysNamesByteForByte) {
    const int dates[][6] = {
        {2005, 12, 30, 20, 57, 32}, {1999, 1, 2, 3, 4, 5}, {2024, 2, 29, 0, 0, 0}};
    for (const auto& d : dates) {
        char exif[32];
        std::snprintf(exif, sizeof exif, "%04d:%02d:%02d %02d:%02d:%02d", d[0], d[1], d[2], d[3],
                      d[4], d[5]);
        NameFields f;
        f.year = d[0];
        f.month = d[1];
        f.day = d[2];
        f.hour = d[3];
        f.minute = d[4];
        f.second = d[5];
        f.extension = ".jpg";
        for (const std::string_view prefix : {"", "Trip ", "100%"}) {
            f.prefix = prefix;
            const std::string stamp = std::string(prefix) + makeDateStamp(exif);
            for (f.counter = 1; f.counter <= 3; ++f.counter) {
                // Built piece by piece: GCC 12 at -O3 sees a false overlap in "-" + std::string.
                std::string counter;
                if (f.counter > 1) {
                    counter += '-';
                    counter += std::to_string(f.counter);
                }
                EXPECT_EQ(renderOk(NameTemplate::kDefaultFormat, f), stamp + counter + ".jpg");
            }
            // The --subseconds synonym: the dot goes with the digits.
            f.counter = 1;
            f.subseconds = "";
            EXPECT_EQ(renderOk("%p%Y-%m-%d %H%M%S.%f%e", f), stamp + ".jpg");
            f.subseconds = "57";
            EXPECT_EQ(renderOk("%p%Y-%m-%d %H%M%S.%f%e", f), stamp + ".57.jpg");
            f.subseconds = "";
        }
    }
}

TEST(NameTemplate, EveryFieldAndPercent) {
    NameFields f = sample();
    f.counter = 3;
    EXPECT_EQ(renderOk("%Y|%m|%d|%H|%M|%S|%f|%z|%n|%e|%c|%p|%%|100%%%%", f),
              "2005|12|30|20|57|32|057|+0200|IMG_0042|.jpg|-3|Trip |%|100%%");
    f.offsetMinutes = -(5 * 60 + 30);
    f.counter = 1;
    f.year = 812;
    EXPECT_EQ(renderOk("%Y%z%c_%f", f), "0812-0530_057");
    f.hasOffset = false;
    f.subseconds = "";
    EXPECT_EQ(renderOk("%Y%z%c_%f.%e", f), "0812_..jpg"); // the "." before %e stays
    // Without %c the counter goes before the last extension, or at the end without one.
    f.counter = 2;
    EXPECT_EQ(renderOk("%e%Y%e", f), ".jpg0812-2.jpg");
    EXPECT_EQ(renderOk("%Y", f), "0812-2");
}

TEST(NameTemplate, DayOnlyDateLeavesTimeEmptyAndSaysSo) {
    NameFields f = sample();
    f.dayOnly = true;
    NameTemplate t;
    std::string error;
    std::string out;
    ASSERT_TRUE(t.compile("%Y-%m-%d %H%M%S.%f%z%e", TemplateUse::fileName, kPosix, error));
    const Rendered r = t.render(f, out);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.timeLeftOut);
    EXPECT_EQ(out, "2005-12-30 +0200.jpg");
    ASSERT_TRUE(t.compile("%Y-%m-%d%e", TemplateUse::fileName, kPosix, error));
    EXPECT_FALSE(t.render(f, out).timeLeftOut);
    // A name made of time fields alone would be empty.
    ASSERT_TRUE(t.compile("%H%M%S", TemplateUse::fileName, kPosix, error));
    EXPECT_FALSE(t.render(f, out).ok);
}

TEST(NameTemplate, ErrorsSayWhy) {
    const auto colonRefused = [](unsigned char b) { return b != ':'; };
    const PathRules strict{true, true, colonRefused};
    struct Case {
        std::string_view text;
        TemplateUse use;
        const PathRules& rules;
        std::string_view says;
    };
    const Case cases[] = {
        {"%n%e", TemplateUse::fileName, kPosix, "no date field"},
        {"", TemplateUse::fileName, kPosix, "empty"},
        {"%Y/%m%e", TemplateUse::fileName, kPosix, "separator \"/\""},
        {"%Y\\%m%e", TemplateUse::fileName, kWindows, "separator \"\\\""},
        {"%Y%q%e", TemplateUse::fileName, kPosix, "unknown field \"%q\""},
        {"%Y%e%", TemplateUse::fileName, kPosix, "lone \"%\""},
        {"%H:%M%e", TemplateUse::fileName, strict, "character \":\""},
        {"%Y//%m", TemplateUse::folder, kPosix, "empty folder name"},
        {"%Y/../%m", TemplateUse::folder, kPosix, "called \"..\""},
        {"..", TemplateUse::folder, kPosix, "called \"..\""},
        {"%Y\\.\\%m", TemplateUse::folder, kWindows, "called \".\""},
        {"%Y/%c", TemplateUse::folder, kPosix, "belongs to the file name"},
        {"%Y/%e", TemplateUse::folder, kPosix, "belongs to the file name"},
        {"C:%Y", TemplateUse::folder, kWindows, "drive without a folder"},
        {"\\\\%Y\\share", TemplateUse::folder, kWindows, "network path"},
        {"%Y/%", TemplateUse::folder, kPosix, "lone \"%\""},
    };
    for (const Case& c : cases) {
        NameTemplate t;
        std::string error;
        EXPECT_FALSE(t.compile(c.text, c.use, c.rules, error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << " gave: " << error;
    }
}

TEST(NameTemplate, FoldersRelativeOrAbsoluteWithEitherSeparatorOnWindows) {
    const NameFields f = sample();
    const struct {
        std::string_view text;
        const PathRules& rules;
        bool absolute;
        std::string_view gives;
    } cases[] = {
        {"%Y/%m/", kPosix, false, "2005/12"},
        {"/srv/photos/%Y/%Y-%m-%d", kPosix, true, "/srv/photos/2005/2005-12-30"},
        {"a\\b", kPosix, false, "a\\b"}, // one folder name on POSIX
        {"%Y\\%m/%d", kWindows, false, "2005\\12/30"},
        {"D:/Pictures\\%Y", kWindows, true, "D:/Pictures\\2005"},
        {"\\\\nas\\photos\\%Y", kWindows, true, "\\\\nas\\photos\\2005"},
        {"\\%Y", kWindows, true, "\\2005"},
        {"%p%n.%f", kPosix, false, "Trip IMG_0042.057"},
    };
    for (const auto& c : cases) {
        NameTemplate t;
        std::string error;
        ASSERT_TRUE(t.compile(c.text, TemplateUse::folder, c.rules, error)) << c.text << error;
        EXPECT_EQ(t.isAbsolute(), c.absolute) << c.text;
        EXPECT_EQ(renderOk(c.text, f, TemplateUse::folder, c.rules), c.gives);
    }
}

TEST(NameTemplate, FieldValuesCannotEscapeTheFolder) {
    NameFields f = sample();
    NameTemplate t;
    std::string error;
    std::string out;
    ASSERT_TRUE(t.compile("%Y/%n", TemplateUse::folder, kPosix, error));
    f.stem = "..";
    EXPECT_FALSE(t.render(f, out).ok);
    f.stem = "x";
    f.prefix = "a/../..";
    ASSERT_TRUE(t.compile("%p%Y", TemplateUse::folder, kPosix, error));
    EXPECT_FALSE(t.render(f, out).ok);
    ASSERT_TRUE(t.compile("%p%Y%e", TemplateUse::fileName, kPosix, error));
    EXPECT_FALSE(t.render(f, out).ok);
    // A day-only date under an hour folder would leave an empty folder name.
    f.prefix = "";
    f.dayOnly = true;
    ASSERT_TRUE(t.compile("%Y/%H", TemplateUse::folder, kPosix, error));
    const Rendered r = t.render(f, out);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("no time of day"), std::string::npos) << r.error;
}

} // namespace
} // namespace shotstamp::naming
