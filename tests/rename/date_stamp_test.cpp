#include "rename/date_stamp.h"

#include <gtest/gtest.h>

namespace shotstamp {
namespace {

struct StampCase {
    const char* date;
    const char* stamp;
    DateUse use;
};

TEST(DateStamp, TurnsColonsIntoStampSeparatorsAndJudgesTheDate) {
    const StampCase cases[] = {
        {"2005:12:30 20:57:32", "2005-12-30 205732", DateUse::usable},
        {"2005:12:30 20:57", "2005-12-30 20-57", DateUse::usable},
        {"2005:12:30", "2005-12-30", DateUse::usable},
        {"", "", DateUse::missing},
        {"2005:12:30 20:57:32  ", "2005-12-30 205732  ", DateUse::usable},
        {"2004:02:29 23:59:59", "2004-02-29 235959", DateUse::usable},
        // Five colons: every colon becomes a hyphen and nothing is removed; no date has them.
        {"2005:12:30 20:57:32:1", "2005-12-30 20-57-32-1", DateUse::unusable},
        // Four colons elsewhere: still the last two hyphens go, whatever they were.
        {"1-2:3:4:5:6", "1-2-3-456", DateUse::unusable},
        {"  2005:12:30  20:57:32", "  2005-12-30  205732", DateUse::unusable},
        // Moments the calendar does not have, and bytes where digits belong.
        {"2015:13:45 25:61:61", "2015-13-45 256161", DateUse::unusable},
        {"2005:02:30 12:00:00", "2005-02-30 120000", DateUse::unusable},
        {"2005:02:29", "2005-02-29", DateUse::unusable},
        {"2005:12:30 24:00", "2005-12-30 24-00", DateUse::unusable},
        {"2005:12:30 20:60:00", "2005-12-30 206000", DateUse::unusable},
        {"2005:12:30 20:57:60", "2005-12-30 205760", DateUse::unusable},
        {"2005:12:3O 20:57:32", "2005-12-3O 205732", DateUse::unusable},
        {"2005:12: 3 20:57:32", "2005-12- 3 205732", DateUse::unusable},
        {"2005:12:30 20:57:\x01\xFF", "2005-12-30 2057\x01\xFF", DateUse::unusable},
        // The unknown date of the EXIF standard: blanks and colons.
        {"    :  :     :  :  ", "    -  -         ", DateUse::unusable},
        {"0000:00:00 00:00:00", "0000-00-00 000000", DateUse::unusable},
        {"unknown", "unknown", DateUse::unusable},
        // Metadata must never move a picture to another folder.
        {"2005/12/30 20:57:32", "2005/12/30 20-57-32", DateUse::unusable},
        {"../../2005:12:30", "../../2005-12-30", DateUse::unusable},
        {"../2005/12/30", "../2005/12/30", DateUse::unusable},
        {"2005\\12\\30", "2005\\12\\30", DateUse::unusable},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.date);
        const std::string stamp = makeDateStamp(c.date);
        EXPECT_EQ(stamp, c.stamp);
        EXPECT_EQ(judgeDate(c.date, stamp), c.use);
    }
}

TEST(DateStamp, DateCutShortByANulIsNoDate) {
    EXPECT_TRUE(dateFieldHasGap(std::string_view("2005:12:30\0 20:57:32", 20)));
    EXPECT_FALSE(dateFieldHasGap(std::string_view("2005:12:30\0\0\0\0\0\0\0\0\0\0", 20)));
    EXPECT_FALSE(dateFieldHasGap(std::string_view("2005:12:30 20:57:32\0", 20)));
}

} // namespace
} // namespace shotstamp
