#include "progress.h"
#include "report_json.h"

#include <gtest/gtest.h>

namespace shotstamp::cli {
namespace {

TEST(ReportJson, OneObjectPerLineWithNullsForWhatIsMissing) {
    const std::vector<std::pair<std::string, std::string>> companions = {
        {"d/IMG_1.CR2", "d/2005-12-30 205732.CR2"}};
    const std::vector<std::string> notes = {"day only, from the file name"};
    std::string out;
    appendJsonLine(out, {"d/IMG_1.jpg", true, "d/2005-12-30 205732.jpg", "renamed", "",
                         "DateTimeOriginal", companions, notes});
    appendJsonLine(out, {"d/caf\xe9 \"1\".jpg", false, "", "kept", "no date taken", "", {}});
    EXPECT_EQ(out, "{\"old_path\":\"d/IMG_1.jpg\",\"new_path\":\"d/2005-12-30 205732.jpg\","
                   "\"outcome\":\"renamed\",\"reason\":null,\"date_source\":\"DateTimeOriginal\","
                   "\"companions\":[{\"old_path\":\"d/IMG_1.CR2\","
                   "\"new_path\":\"d/2005-12-30 205732.CR2\"}],"
                   "\"notes\":[\"day only, from the file name\"]}\n"
                   "{\"old_path\":\"d/caf\\u00e9 \\\"1\\\".jpg\",\"new_path\":null,"
                   "\"outcome\":\"kept\",\"reason\":\"no date taken\",\"date_source\":null,"
                   "\"companions\":[],\"notes\":[]}\n");
}

TEST(RunSummary, CountsEveryReasonCommonestFirst) {
    RunSummary summary;
    EXPECT_EQ(summary.line(), "0 renamed, 0 kept");
    summary.kept("no date taken");
    summary.renamed();
    summary.kept("name exists");
    summary.kept("not a JPEG");
    summary.kept("name exists");
    EXPECT_EQ(summary.line(), "1 renamed, 4 kept (2 name exists, 1 no date taken, 1 not a JPEG)");
}

TEST(ProgressLine, TextCountsRateAndTimeLeft) {
    EXPECT_EQ(ProgressLine::format(250, 1000, 200, 50, 2.0),
              "250/1000 files, 200 renamed, 50 kept, 125 files/s, 6 s left");
    EXPECT_EQ(ProgressLine::format(10, 100000, 10, 0, 1.0),
              "10/100000 files, 10 renamed, 0 kept, 10 files/s, 2 h 46 min left");
    EXPECT_EQ(ProgressLine::format(30, 0, 30, 0, 1.0), "30 files, 30 renamed, 0 kept, 30 files/s");
}

} // namespace
} // namespace shotstamp::cli
