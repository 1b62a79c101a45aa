#include "name_dates.h"

namespace shotstamp::capture {

namespace {

constexpr const char* kLocal = "local time";
constexpr const char* kDayOnly = "the day a messenger received it";

constexpr NameRule kRules[] = {
    // Android cameras: local time, to the second or the millisecond.
    {"IMG_{YYYYMMDD_hhmmss_fff}", "IMG_20230102_101112_123.jpg", kLocal, Precision::subsecond,
     false},
    {"VID_{YYYYMMDD_hhmmss_fff}", "VID_20230102_101112_123.mp4", kLocal, Precision::subsecond,
     false},
    {"IMG_{YYYYMMDD_hhmmss}", "IMG_20230102_101112.jpg", kLocal, Precision::second, false},
    {"VID_{YYYYMMDD_hhmmss}", "VID_20230102_101112.mp4", kLocal, Precision::second, false},
    {"PANO_{YYYYMMDD_hhmmss}", "PANO_20230102_101112.jpg", kLocal, Precision::second, false},
    {"MVIMG_{YYYYMMDD_hhmmss}", "MVIMG_20230102_101112.jpg", kLocal, Precision::second, false},
    // Pixel phones write UTC.
    {"PXL_{YYYYMMDD_hhmmssfff}", "PXL_20230102_101112123.jpg", "UTC", Precision::subsecond, true},
    // Screenshots.
    {"Screenshot_{YYYYMMDD-hhmmss}", "Screenshot_20230102-101112.png", kLocal, Precision::second,
     false},
    {"Screenshot_{YYYY-MM-DD-hh-mm-ss-fff}", "Screenshot_2023-01-02-10-11-12-123_app.jpg", kLocal,
     Precision::subsecond, false},
    {"Screenshot {YYYY-MM-DD} at {hh.mm.ss}", "Screenshot 2023-01-02 at 10.11.12.png", kLocal,
     Precision::second, false},
    // Messengers.
    {"IMG-{YYYYMMDD}-WA{####}", "IMG-20230102-WA0001.jpg", kDayOnly, Precision::day, false},
    {"VID-{YYYYMMDD}-WA{####}", "VID-20230102-WA0001.mp4", kDayOnly, Precision::day, false},
    {"signal-{YYYY-MM-DD-hh-mm-ss-fff}", "signal-2023-01-02-10-11-12-123.jpg", kLocal,
     Precision::subsecond, false},
    {"signal-{YYYY-MM-DD-hhmmss}", "signal-2023-01-02-101112.jpg", kLocal, Precision::second,
     false},
    {"photo_{YYYY-MM-DD_hh-mm-ss}", "photo_2023-01-02_10-11-12.jpg", kLocal, Precision::second,
     false},
    // Bare stamps, this program's own among them.
    {"{YYYYMMDD_hhmmss}", "20230102_101112.jpg", kLocal, Precision::second, false},
    {"{YYYY-MM-DD hh.mm.ss}", "2023-01-02 10.11.12.jpg", kLocal, Precision::second, false},
    {"{YYYY-MM-DD hhmmss}", "2023-01-02 101112.jpg", kLocal, Precision::second, false},
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the name against one pattern; false at the first place they differ.
bool match(const NameRule& rule, std::string_view name, CaptureTime& time) {
    CaptureTime t;
    t.hasTime = rule.precision != Precision::day;
    std::size_t i = 0;
    bool placeholders = false;
    for (const char* p = rule.pattern; *p != '\0'; ++p) {
        if (*p == '{' || *p == '}') {
            placeholders = *p == '{';
            continue;
        }
        if (i >= name.size()) {
            return false;
        }
        const char c = name[i++];
        int* field = nullptr;
        switch (placeholders ? *p : '\0') {
        case 'Y':
            field = &t.year;
            break;
        case 'M':
            field = &t.month;
            break;
        case 'D':
            field = &t.day;
            break;
        case 'h':
            field = &t.hour;
            break;
        case 'm':
            field = &t.minute;
            break;
        case 's':
            field = &t.second;
            break;
        case 'f':
        case '#':
            if (!isDigit(c)) {
                return false;
            }
            if (*p == 'f') {
                t.subseconds.push_back(c);
            }
            continue;
        default: // a character that stands for itself
            if (lower(c) != lower(*p)) {
                return false;
            }
            continue;
        }
        if (!isDigit(c)) {
            return false;
        }
        *field = *field * 10 + (c - '0');
    }
    if (i < name.size() && isDigit(name[i])) {
        return false; // a longer number: a counter, not this convention
    }
    if (!isRealDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second)) {
        return false;
    }
    t.isUtc = rule.utc;
    t.field = DateField::fileName;
    time = t;
    return true;
}

} // namespace

std::span<const NameRule> nameRules() {
    return kRules;
}

bool dateFromName(std::string_view fileName, Candidate& out) {
    for (const NameRule& rule : kRules) {
        CaptureTime time;
        if (match(rule, fileName, time)) {
            out = Candidate{DateSource::name,
                            time,
                            rule.precision,
                            std::string(rule.pattern) + ", " + rule.meaning,
                            {}};
            return true;
        }
    }
    return false;
}

} // namespace shotstamp::capture
