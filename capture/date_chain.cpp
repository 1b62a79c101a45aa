#include "date_chain.h"

#include "exif_dates.h"
#include "name_dates.h"
#include "xmp_dates.h"

#include <algorithm>

namespace shotstamp::capture {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t k1990 = 7305 * kDay; // 1990-01-01 00:00 UTC

bool isClockDefault(const CaptureTime& t) {
    return t.hasTime && (t.year == 2000 || t.year == 2001) && t.month == 1 && t.day == 1 &&
           t.hour == 0 && t.minute == 0 && t.second == 0;
}

std::int64_t distance(const CaptureTime& a, const CaptureTime& b) {
    const std::int64_t d = comparableSeconds(a) - comparableSeconds(b);
    return d < 0 ? -d : d;
}

std::string sourceList(const std::vector<DateSource>& order) {
    std::string out;
    for (const DateSource s : order) {
        out += out.empty() ? "" : ",";
        out += dateSourceName(s);
    }
    return out;
}

// Whose date it is, as the reasons name it.
std::string label(const Candidate& c) {
    return dateFieldName(c.time.field);
}

void warnOnDisagreement(const std::vector<Candidate>& all, std::vector<std::string>& warnings) {
    const auto original = std::find_if(all.begin(), all.end(), [](const Candidate& c) {
        return c.time.field == DateField::dateTimeOriginal;
    });
    if (original == all.end()) {
        return;
    }
    for (const Candidate& c : all) {
        const bool compared =
            c.time.field == DateField::dateTimeDigitized || c.time.field == DateField::fileName;
        if (compared && c.ignored.empty() && distance(original->time, c.time) > kDay) {
            warnings.push_back("DateTimeOriginal " + formatTime(original->time) + " and " +
                               label(c) + " " + formatTime(c.time) +
                               " differ by more than a day: the camera's clock may have "
                               "been wrong (see --shift)");
        }
    }
}

} // namespace

std::vector<Candidate> gatherCandidates(const DateInputs& inputs) {
    std::vector<Candidate> all = inputs.fromContainer;
    const auto add = [&all](std::vector<Candidate> more) {
        all.insert(all.end(), more.begin(), more.end());
    };
    add(exifCandidates(inputs.exif));
    add(xmpCandidates(inputs.xmpPacket, "XMP packet"));
    add(xmpCandidates(inputs.sidecarXmp, "sidecar .xmp"));
    Candidate c;
    if (dateFromName(inputs.fileName, c)) {
        all.push_back(c);
    }
    if (inputs.modificationTime) {
        CaptureTime utc;
        setSecondsSince1970(*inputs.modificationTime, utc);
        utc.isUtc = true;
        utc.field = DateField::fileModified;
        if (isRealDateTime(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second)) {
            all.push_back(Candidate{DateSource::mtime, utc, Precision::second, "file system", {}});
        }
    }
    // Group by source, keeping each source's own order.
    std::stable_sort(all.begin(), all.end(),
                     [](const Candidate& a, const Candidate& b) { return a.source < b.source; });
    return all;
}

void judgePlausibility(std::vector<Candidate>& candidates, std::int64_t nowUtc) {
    for (Candidate& c : candidates) {
        if (c.source == DateSource::exif || !c.ignored.empty()) {
            continue;
        }
        const std::int64_t t = comparableSeconds(c.time);
        if (c.source == DateSource::gps && (c.time.year == 1970 || c.time.year == 1980)) {
            c.ignored = "a GPS date of 1970 or 1980: the receiver had no fix";
        } else if (t < k1990) {
            c.ignored = "before 1990-01-01";
        } else if (t > nowUtc + kDay) {
            c.ignored = "more than a day in the future";
        }
    }
    // A clock's default date gives way to any other source that says something else.
    for (Candidate& c : candidates) {
        if (c.source == DateSource::exif || !c.ignored.empty() || !isClockDefault(c.time)) {
            continue;
        }
        for (const Candidate& other : candidates) {
            if (other.source != c.source && other.ignored.empty() && !isClockDefault(other.time) &&
                distance(other.time, c.time) > kDay) {
                c.ignored = "a camera clock's default date, while " + label(other) + " says " +
                            formatTime(other.time);
                break;
            }
        }
    }
}

DateChoice chooseDate(std::vector<Candidate> candidates, const DateRules& rules) {
    DateChoice choice;
    choice.candidates = std::move(candidates);
    judgePlausibility(choice.candidates, rules.nowUtc);
    std::string steps;
    for (const DateSource source : rules.order) {
        std::string step;
        for (std::size_t i = 0; i < choice.candidates.size() && !choice.found(); ++i) {
            Candidate& c = choice.candidates[i];
            if (c.source != source) {
                continue;
            }
            if (c.ignored.empty() && !inZone(c.time, rules.zone, rules.localOffset, choice.value)) {
                c.ignored = "the local zone's offset at that moment is unknown";
            }
            if (!c.ignored.empty()) {
                step += (step.empty() ? "" : ", ") + label(c) + " set aside (" + c.ignored + ")";
                continue;
            }
            choice.chosen = static_cast<int>(i);
            step += (step.empty() ? "" : ", then ") + std::string("took ") + describe(c);
        }
        steps += (steps.empty() ? "" : "; ") + std::string(dateSourceName(source)) + ": " +
                 (step.empty() ? "nothing found" : step);
        if (choice.found()) {
            break;
        }
    }
    choice.why = "--date-from " + sourceList(rules.order) + ": " + steps;
    if (!choice.found()) {
        choice.value = CaptureTime{};
        choice.why += "; no usable date, the name stays";
    }
    warnOnDisagreement(choice.candidates, choice.warnings);
    return choice;
}

std::vector<std::string> disagreements(const DateInputs& inputs, std::int64_t nowUtc) {
    std::vector<Candidate> compared;
    for (Candidate& c : exifCandidates(inputs.exif)) {
        if (c.time.field == DateField::dateTimeOriginal ||
            c.time.field == DateField::dateTimeDigitized) {
            compared.push_back(std::move(c));
        }
    }
    if (Candidate named; dateFromName(inputs.fileName, named)) {
        compared.push_back(std::move(named));
    }
    if (compared.size() < 2) {
        return {};
    }
    judgePlausibility(compared, nowUtc);
    std::vector<std::string> warnings;
    warnOnDisagreement(compared, warnings);
    return warnings;
}

std::string describe(const Candidate& c) {
    std::string text = label(c) + " " + formatTime(c.time) + " (";
    if (c.time.hasTime) {
        text += zoneText(c.time) + ", ";
    }
    return text + precisionName(c.precision) + ", " + c.origin + ")";
}

} // namespace shotstamp::capture
