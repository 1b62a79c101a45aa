// The date step: name conventions, XMP and EXIF candidates, zones, plausibility and the chain.
#include "capture/date_chain.h"
#include "capture/exif_dates.h"
#include "capture/name_dates.h"
#include "capture/xmp_dates.h"

#include <gtest/gtest.h>

namespace shotstamp::capture {
namespace {

constexpr std::int64_t kSummerStarts = 1679792400; // 2023-03-26 01:00 UTC
constexpr std::int64_t kSummerEnds = 1698541200;   // 2023-10-29 01:00 UTC
constexpr std::int64_t kNow = 1796774400;          // 2026-12-09 00:00 UTC

// A zone one hour east of UTC, two hours in the summer of 2023; it knows no other year.
bool fakeZone(std::int64_t utc, int& offsetMinutes) {
    if (utc < kSummerStarts - 200 * 86400 || utc > kSummerEnds + 200 * 86400) {
        return false;
    }
    offsetMinutes = utc >= kSummerStarts && utc < kSummerEnds ? 120 : 60;
    return true;
}

// "2023-01-02 10:11:12.123 +01:00": the value and its zone in one text.
std::string shown(const CaptureTime& t) {
    return formatTime(t) + (t.hasTime ? " " + zoneText(t) : "");
}

CaptureTime exifTime(const char* text, const char* offset = "") {
    CaptureTime t;
    EXPECT_TRUE(parseExifDateTime(text, t)) << text;
    t.hasOffset = parseUtcOffset(offset, t.offsetMinutes);
    return t;
}

const char* const kNoZone = " local time, zone unknown";

TEST(NameDates, EveryConventionReadsItsDateAndNearMissesReadNone) {
    struct Case {
        const char* name;
        std::string expected; // empty: must not match
        Precision precision = Precision::second;
    };
    const std::string local = kNoZone;
    const Case cases[] = {
        {"IMG_20230102_101112.jpg", "2023-01-02 10:11:12" + local},
        {"img_20230102_101112~2.JPG", "2023-01-02 10:11:12" + local},
        {"VID_20230102_101112.mp4", "2023-01-02 10:11:12" + local},
        {"PANO_20230102_101112.jpg", "2023-01-02 10:11:12" + local},
        {"MVIMG_20230102_101112.jpg", "2023-01-02 10:11:12" + local},
        {"IMG_20230102_101112_123.jpg", "2023-01-02 10:11:12.123" + local, Precision::subsecond},
        {"VID_20230102_101112_123.mp4", "2023-01-02 10:11:12.123" + local, Precision::subsecond},
        {"PXL_20230102_101112123.MP.jpg", "2023-01-02 10:11:12.123 UTC", Precision::subsecond},
        {"Screenshot_20230102-101112.png", "2023-01-02 10:11:12" + local},
        {"Screenshot_2023-01-02-10-11-12-123_app.jpg", "2023-01-02 10:11:12.123" + local,
         Precision::subsecond},
        {"Screenshot 2023-01-02 at 10.11.12.png", "2023-01-02 10:11:12" + local},
        {"IMG-20230102-WA0001.jpg", "2023-01-02", Precision::day},
        {"VID-20230102-WA0001.mp4", "2023-01-02", Precision::day},
        {"signal-2023-01-02-101112.jpg", "2023-01-02 10:11:12" + local},
        {"signal-2023-01-02-10-11-12-123.jpg", "2023-01-02 10:11:12.123" + local,
         Precision::subsecond},
        {"photo_2023-01-02_10-11-12.jpg", "2023-01-02 10:11:12" + local},
        {"20230102_101112.jpg", "2023-01-02 10:11:12" + local},
        {"2023-01-02 10.11.12.jpg", "2023-01-02 10:11:12" + local},
        {"2023-01-02 101112.jpg", "2023-01-02 10:11:12" + local},
        {"2024-02-29 235959-2.jpg", "2024-02-29 23:59:59" + local},
        // Near misses: counters, impossible dates, longer numbers, a prefix elsewhere.
        {"IMG_1234.jpg", ""},
        {"IMG_20231332_101112.jpg", ""},
        {"IMG_12345678.jpg", ""},
        {"DSC_12345678.JPG", ""},
        {"20230102.jpg", ""},
        {"IMG-12345678-WA0001.jpg", ""},
        {"IMG_20230102_101160.jpg", ""},
        {"IMG_20230102_1011123.jpg", ""},
        {"2023-02-29 101112.jpg", ""},
        {"Trip IMG_20230102_101112.jpg", ""},
        {"PXL_20230102_101112.jpg", ""},
        {"IMG-20230102-WA01.jpg", ""},
    };
    std::vector<std::string> origins;
    for (const Case& c : cases) {
        Candidate got;
        const bool matched = dateFromName(c.name, got);
        EXPECT_EQ(matched, !c.expected.empty()) << c.name;
        if (matched && !c.expected.empty()) {
            EXPECT_EQ(shown(got.time), c.expected) << c.name;
            EXPECT_EQ(got.precision, c.precision) << c.name;
            EXPECT_EQ(got.time.field, DateField::fileName);
            origins.push_back(got.origin);
        }
    }
    // Every row of the table was met by a case above.
    for (const NameRule& rule : nameRules()) {
        EXPECT_TRUE(std::any_of(origins.begin(), origins.end(), [&](const std::string& o) {
            return o.find(rule.pattern) != std::string::npos;
        })) << rule.pattern;
    }
}

TEST(XmpDates, AttributesElementsAndIsoFormsAreRead) {
    struct Case {
        const char* packet;
        std::string expected; // "field|value zone|precision", or empty for nothing
    };
    const Case cases[] = {
        {R"(<rdf:Description exif:DateTimeOriginal="2023-01-02T10:11:12.5+01:00"/>)",
         "XMP exif:DateTimeOriginal|2023-01-02 10:11:12.5 +01:00|fraction of a second"},
        {"<rdf:Description\n  xmp:CreateDate = '2023-01-02T10:11Z'/>",
         "XMP xmp:CreateDate|2023-01-02 10:11:00 +00:00|minute"},
        {"<photoshop:DateCreated>2023-01-02</photoshop:DateCreated>",
         "XMP photoshop:DateCreated|2023-01-02|day only"},
        {"<xmp:CreateDate> 2023-01-02T10:11:12-0330 </xmp:CreateDate>",
         "XMP xmp:CreateDate|2023-01-02 10:11:12 -03:30|second"},
        {"<xmp:CreateDate>2023-01-02T10:11:12</xmp:CreateDate>",
         "XMP xmp:CreateDate|2023-01-02 10:11:12" + std::string(kNoZone) + "|second"},
        // A bad first value gives way to a good later one; closing tags and longer names never
        // count; broken values give nothing.
        {R"(xmp:CreateDate="2023-13-01" <xmp:CreateDate>2023-01-03T00:00:00</xmp:CreateDate>)",
         "XMP xmp:CreateDate|2023-01-03 00:00:00" + std::string(kNoZone) + "|second"},
        {R"(<x:exif:DateTimeOriginalX>2023-01-02</x:exif:DateTimeOriginalX>)", ""},
        {R"( xmp:CreateDateX="2023-01-02" </xmp:CreateDate>)", ""},
        {R"( xmp:CreateDate="2023-01-02T10:11:12+25:00")", ""},
        {R"( xmp:CreateDate="2023-01")", ""},
        {R"( xmp:CreateDate="2023-01-02T10:11:12.")", ""},
        {R"( xmp:CreateDate="2023-01-02T10)", ""},
    };
    for (const Case& c : cases) {
        const std::vector<Candidate> got = xmpCandidates(c.packet, "XMP packet");
        std::string text;
        if (!got.empty()) {
            text = std::string(dateFieldName(got[0].time.field)) + "|" + shown(got[0].time) + "|" +
                   precisionName(got[0].precision);
        }
        EXPECT_EQ(text, c.expected) << c.packet;
        EXPECT_LE(got.size(), 1U) << c.packet;
    }
    const auto three =
        xmpCandidates(R"( xmp:CreateDate="2023-01-03" photoshop:DateCreated="2023-01-02"
        exif:DateTimeOriginal="2023-01-01")",
                      "sidecar .xmp");
    ASSERT_EQ(three.size(), 3U);
    EXPECT_EQ(three[0].time.field, DateField::xmpDateTimeOriginal);
    EXPECT_EQ(three[2].time.field, DateField::xmpCreateDate);
}

TEST(ExifDates, FractionsOffsetsAndGpsBecomeCandidates) {
    ExifDateTexts texts;
    texts.original = "2023:01:02 10:11:12";
    texts.originalSubseconds = "040 ";
    texts.modifiedOffset = "+05:45"; // stands in for the missing OffsetTimeOriginal
    texts.digitized = "2023:01:02 10:11:12";
    texts.digitizedSubseconds = "4x";       // not digits: dropped
    texts.modified = "2023:02:30 00:00:00"; // no such day
    texts.gpsDate = "2023-01-02";
    texts.gpsTimeFound = true;
    texts.gpsHour = 23;
    texts.gpsMinute = 59;
    texts.gpsSecond = 59.9996;
    const std::vector<Candidate> got = exifCandidates(texts);
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(shown(got[0].time), "2023-01-02 10:11:12.040 +05:45");
    EXPECT_EQ(shown(got[1].time), "2023-01-02 10:11:12" + std::string(kNoZone));
    EXPECT_EQ(got[2].source, DateSource::gps);
    EXPECT_EQ(shown(got[2].time), "2023-01-02 23:59:59.999 UTC");

    texts.gpsMinute = 60; // not a time of day
    EXPECT_EQ(exifCandidates(texts).size(), 2U);
}

TEST(Zones, UtcAndOffsetTimesMoveIntoTheZoneAsked) {
    struct Case {
        CaptureTime time;
        const char* zone; // nullptr: none given
        std::string expected;
    };
    CaptureTime utc = exifTime("2023:12:31 23:30:00");
    utc.isUtc = true;
    const auto atUtc = [](const char* text) {
        CaptureTime t = exifTime(text);
        t.isUtc = true;
        return t;
    };
    const Case cases[] = {
        {utc, nullptr, "2024-01-01 00:30:00 +01:00"}, // crosses midnight into a new year
        {utc, "utc", "2023-12-31 23:30:00 UTC"},
        {atUtc("2023:01:01 03:00:00"), "-05:30", "2022-12-31 21:30:00 -05:30"},
        {atUtc("2023:03:26 00:59:59"), "local", "2023-03-26 01:59:59 +01:00"},
        {atUtc("2023:03:26 01:00:00"), "local", "2023-03-26 03:00:00 +02:00"},
        {atUtc("2023:10:29 00:59:59"), "local", "2023-10-29 02:59:59 +02:00"},
        {atUtc("2023:10:29 01:00:00"), "local", "2023-10-29 02:00:00 +01:00"},
        // A time with its own offset stays as written unless a zone is named.
        {exifTime("2023:06:01 10:00:00", "+09:00"), nullptr, "2023-06-01 10:00:00 +09:00"},
        {exifTime("2023:06:01 10:00:00", "+09:00"), "local", "2023-06-01 03:00:00 +02:00"},
        {exifTime("2023:06:01 00:30:00", "+09:00"), "utc", "2023-05-31 15:30:00 UTC"},
        {exifTime("2023:06:01 10:00:00"), "utc", "2023-06-01 10:00:00" + std::string(kNoZone)},
    };
    for (const Case& c : cases) {
        ZoneSetting zone;
        std::string error;
        ASSERT_TRUE(c.zone == nullptr || parseZone(c.zone, zone, error)) << error;
        CaptureTime out;
        ASSERT_TRUE(inZone(c.time, zone, &fakeZone, out)) << c.expected;
        EXPECT_EQ(shown(out), c.expected);
    }
    CaptureTime out;
    EXPECT_FALSE(inZone(atUtc("2030:01:01 00:00:00"), ZoneSetting{}, &fakeZone, out));
    EXPECT_FALSE(inZone(utc, ZoneSetting{}, nullptr, out));
}

TEST(Options, SourceListsAndZonesAreCheckedWithAReason) {
    std::vector<DateSource> sources;
    std::string error;
    ASSERT_TRUE(parseDateSources("exif,digitized,gps,xmp,name,modified,mtime", sources, error));
    EXPECT_EQ(sources.size(), 7U);
    EXPECT_EQ(sources[4], DateSource::name);
    const std::pair<const char*, const char*> bad[] = {
        {"", "empty"}, {"exif,", "empty"}, {"exif,foo", "\"foo\""}, {"name,name", "twice"}};
    for (const auto& [text, reason] : bad) {
        EXPECT_FALSE(parseDateSources(text, sources, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    EXPECT_EQ(sources.size(), 7U); // left alone by the failures

    ZoneSetting zone;
    for (const char* text : {"+2", "CET", "+19:00", "+02:00 ", "Local"}) {
        EXPECT_FALSE(parseZone(text, zone, error)) << text;
    }
    ASSERT_TRUE(parseZone("-05:30", zone, error));
    EXPECT_EQ(zone.offsetMinutes, -330);
}

Candidate candidate(DateSource source, CaptureTime time) {
    constexpr DateField kFields[] = {DateField::dateTimeOriginal, DateField::dateTimeDigitized,
                                     DateField::gpsDateTime,      DateField::xmpCreateDate,
                                     DateField::fileName,         DateField::dateTimeModified,
                                     DateField::fileModified};
    time.field = kFields[static_cast<int>(source)];
    return Candidate{source, time, precisionOf(time), "test", {}};
}

TEST(Plausibility, OnlySourcesOtherThanExifSetImplausibleDatesAside) {
    CaptureTime gps1980 = exifTime("1980:01:06 00:00:00");
    gps1980.isUtc = true;
    struct Case {
        std::vector<Candidate> all;
        std::vector<std::string> reasons; // per candidate, a part of the reason or empty
    };
    const Case cases[] = {
        {{candidate(DateSource::exif, exifTime("1985:01:01 10:00:00")),
          candidate(DateSource::digitized, exifTime("1989:12:31 23:59:59")),
          candidate(DateSource::modified, exifTime("1990:01:01 00:00:00"))},
         {"", "before 1990", ""}},
        {{candidate(DateSource::gps, gps1980),
          candidate(DateSource::name, exifTime("2026:12:10 12:00:00")),
          candidate(DateSource::xmp, exifTime("2026:12:10 00:00:00"))},
         {"no fix", "future", ""}},
        // Clock defaults give way to another source, but not to each other.
        {{candidate(DateSource::exif, exifTime("2000:01:01 00:00:00")),
          candidate(DateSource::digitized, exifTime("2001:01:01 00:00:00")),
          candidate(DateSource::name, exifTime("2023:05:01 10:00:00"))},
         {"", "default date, while file name says 2023-05-01", ""}},
        {{candidate(DateSource::digitized, exifTime("2000:01:01 00:00:00")),
          candidate(DateSource::modified, exifTime("2001:01:01 00:00:00"))},
         {"", ""}},
        {{candidate(DateSource::digitized, exifTime("2000:01:01 00:00:00")),
          candidate(DateSource::name, exifTime("2000:01:01 20:00:00"))},
         {"", ""}},
    };
    for (const Case& c : cases) {
        std::vector<Candidate> all = c.all;
        judgePlausibility(all, kNow);
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::string& want = c.reasons[i];
            EXPECT_EQ(all[i].ignored.empty(), want.empty()) << i << ": " << all[i].ignored;
            EXPECT_NE(all[i].ignored.find(want), std::string::npos) << all[i].ignored;
        }
    }
}

TEST(Chain, SourcesAreTriedInTheOrderGivenAndEachAnswerSaysWhy) {
    DateInputs in;
    in.exif.digitized = "1999:12:31 10:00:00";
    in.exif.digitizedOffset = "+01:00";
    in.fileName = "IMG-20230105-WA0001.jpg";
    in.modificationTime = 1688169600; // 2023-07-01 00:00:00 UTC
    DateRules rules;
    rules.localOffset = &fakeZone;
    rules.nowUtc = kNow;

    DateChoice choice = chooseDate(gatherCandidates(in), rules); // the default: exif alone
    EXPECT_FALSE(choice.found());
    EXPECT_EQ(choice.why, "--date-from exif: exif: nothing found; no usable date, the name stays");
    EXPECT_EQ(choice.candidates.size(), 3U); // all are listed all the same

    std::string error;
    ASSERT_TRUE(parseDateSources("exif,digitized,name", rules.order, error));
    choice = chooseDate(gatherCandidates(in), rules);
    ASSERT_TRUE(choice.found());
    EXPECT_EQ(choice.choice()->source, DateSource::digitized);
    EXPECT_EQ(shown(choice.value), "1999-12-31 10:00:00 +01:00");
    EXPECT_EQ(choice.why, "--date-from exif,digitized,name: exif: nothing found; digitized: took "
                          "CreateDate 1999-12-31 10:00:00 (+01:00, second, EXIF)");

    in.exif.digitized = "1989:12:31 10:00:00";
    choice = chooseDate(gatherCandidates(in), rules);
    ASSERT_TRUE(choice.found());
    EXPECT_EQ(choice.choice()->source, DateSource::name);
    EXPECT_FALSE(choice.value.hasTime); // a day only, never a made-up time
    EXPECT_NE(choice.why.find("CreateDate set aside (before 1990-01-01); name: took file name "
                              "2023-01-05 (day only, IMG-{YYYYMMDD}-WA{####}, the day a messenger"),
              std::string::npos)
        << choice.why;

    ASSERT_TRUE(parseDateSources("gps,mtime", rules.order, error));
    choice = chooseDate(gatherCandidates(in), rules);
    ASSERT_TRUE(choice.found());
    EXPECT_EQ(shown(choice.value), "2023-07-01 02:00:00 +02:00"); // UTC moved into summer time
}

TEST(Chain, DatesThatDisagreeByMoreThanADayAreWarnedAbout) {
    DateInputs in;
    in.exif.original = "2023:01:02 10:00:00";
    in.exif.digitized = "2023:01:03 10:00:01";
    in.fileName = "IMG_20230103_095959.jpg";
    DateRules rules;
    rules.nowUtc = kNow;
    const DateChoice choice = chooseDate(gatherCandidates(in), rules);
    ASSERT_EQ(choice.warnings.size(), 1U);
    EXPECT_EQ(choice.warnings[0], "DateTimeOriginal 2023-01-02 10:00:00 and CreateDate 2023-01-03 "
                                  "10:00:01 differ by more than a day: the camera's clock may have "
                                  "been wrong (see --shift)");
    EXPECT_EQ(choice.choice()->time.field, DateField::dateTimeOriginal);
}

} // namespace
} // namespace shotstamp::capture
