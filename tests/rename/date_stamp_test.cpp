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
        // Five colons: every colon becomes a hyphen and nothing is removed.
        {"2005:12:30 20:57:32:1", "2005-12-30 20-57-32-1", DateUse::usable},
        // Four colons elsewhere: still the last two hyphens go, whatever they were.
        {"1-2:3:4:5:6", "1-2-3-456", DateUse::usable},
        {"  2005:12:30  20:57:32", "  2005-12-30  205732", DateUse::usable},
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

} // namespace
} // namespace shotstamp
