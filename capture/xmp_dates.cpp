#include "xmp_dates.h"

namespace shotstamp::capture {

namespace {

constexpr std::size_t kMaxValueBytes = 64;
constexpr std::size_t kMaxFractionDigits = 9;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The zone part after the time: "Z", "+HH:MM", "+HHMM" or "+HH".
bool parseZonePart(std::string_view zone, CaptureTime& time) {
    if (zone.empty()) {
        return true;
    }
    if (zone == "Z") {
        time.hasOffset = true;
        time.offsetMinutes = 0;
        return true;
    }
    int hours = 0;
    int minutes = 0;
    if ((zone[0] != '+' && zone[0] != '-') || !readDigits(zone, 1, 2, hours)) {
        return false;
    }
    if (zone.size() == 6 && zone[3] == ':') {
        if (!readDigits(zone, 4, 2, minutes)) {
            return false;
        }
    } else if (zone.size() == 5) {
        if (!readDigits(zone, 3, 2, minutes)) {
            return false;
        }
    } else if (zone.size() != 3) {
        return false;
    }
    if (minutes > 59 || hours * 60 + minutes > 18 * 60) {
        return false;
    }
    time.hasOffset = true;
    time.offsetMinutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// The value of `name` at `at`: an attribute's quoted text or an element's text, else empty.
std::string_view valueAfterName(std::string_view packet, std::size_t at, std::size_t nameSize) {
    const char before = at == 0 ? '\0' : packet[at - 1];
    std::size_t p = at + nameSize;
    if (before == '<') {
        if (p >= packet.size() || packet[p] != '>') {
            return {};
        }
        ++p;
        const std::size_t end = packet.find('<', p);
        if (end == std::string_view::npos || end - p > kMaxValueBytes) {
            return {};
        }
        return packet.substr(p, end - p);
    }
    if (!isBlank(before)) {
        return {}; // part of a longer name, or the closing tag "</name>"
    }
    while (p < packet.size() && isBlank(packet[p])) {
        ++p;
    }
    if (p >= packet.size() || packet[p] != '=') {
        return {};
    }
    ++p;
    while (p < packet.size() && isBlank(packet[p])) {
        ++p;
    }
    if (p >= packet.size() || (packet[p] != '"' && packet[p] != '\'')) {
        return {};
    }
    const char quote = packet[p++];
    const std::size_t end = packet.find(quote, p);
    if (end == std::string_view::npos || end - p > kMaxValueBytes) {
        return {};
    }
    return packet.substr(p, end - p);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

bool parseXmpDate(std::string_view text, CaptureTime& out, Precision& precision) {
    CaptureTime time;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' ||
        !readDigits(text, 0, 4, time.year) || !readDigits(text, 5, 2, time.month) ||
        !readDigits(text, 8, 2, time.day)) {
        return false;
    }
    Precision found = Precision::day;
    std::size_t p = 10;
    if (p == text.size()) {
        time.hasTime = false;
    } else {
        if ((text[p] != 'T' && text[p] != ' ') || !readDigits(text, p + 1, 2, time.hour) ||
            p + 3 >= text.size() || text[p + 3] != ':' ||
            !readDigits(text, p + 4, 2, time.minute)) {
            return false;
        }
        found = Precision::minute;
        p += 6;
        if (p < text.size() && text[p] == ':') {
            if (!readDigits(text, p + 1, 2, time.second)) {
                return false;
            }
            found = Precision::second;
            p += 3;
            if (p < text.size() && (text[p] == '.' || text[p] == ',')) {
                ++p;
                while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
                    if (time.subseconds.size() < kMaxFractionDigits) {
                        time.subseconds.push_back(text[p]);
                    }
                    ++p;
                }
                if (time.subseconds.empty()) {
                    return false;
                }
                found = Precision::subsecond;
            }
        }
        if (!parseZonePart(text.substr(p), time)) {
            return false;
        }
    }
    if (!isRealDateTime(time.year, time.month, time.day, time.hour, time.minute, time.second)) {
        return false;
    }
    out = time;
    precision = found;
    return true;
}

std::vector<Candidate> xmpCandidates(std::string_view packet, const char* origin) {
    struct Name {
        std::string_view text;
        DateField field;
    };
    static constexpr Name kNames[] = {
        {"exif:DateTimeOriginal", DateField::xmpDateTimeOriginal},
        {"photoshop:DateCreated", DateField::xmpDateCreated},
        {"xmp:CreateDate", DateField::xmpCreateDate},
    };
    packet = packet.substr(0, kMaxXmpScanBytes);
    std::vector<Candidate> out;
    for (const Name& name : kNames) {
        // Every search starts after the previous hit, so the scan ends within the packet.
        for (std::size_t at = packet.find(name.text); at != std::string_view::npos;
             at = packet.find(name.text, at + 1)) {
            CaptureTime time;
            Precision precision = Precision::day;
            if (parseXmpDate(trimmed(valueAfterName(packet, at, name.text.size())), time,
                             precision)) {
                time.field = name.field;
                out.push_back(Candidate{DateSource::xmp, time, precision, origin, {}});
                break;
            }
        }
    }
    return out;
}

} // namespace shotstamp::capture
