#include "date_stamp.h"

#include "metadata/capture_time.h"
#include "platform/text.h"

namespace shotstamp {

std::string makeDateStamp(std::string_view dateTimeOriginal) {
    std::string stamp(dateTimeOriginal);
    int replaced = 0;
    for (std::size_t at = 0; at < stamp.size(); at += text::characterLength(stamp, at)) {
        if (stamp[at] == ':') {
            stamp[at] = '-';
            ++replaced;
        }
    }
    if (replaced == 4) {
        for (int i = 0; i < 2; ++i) {
            const std::size_t last = text::findLastWhole(stamp, '-');
            if (last != std::string::npos) {
                stamp.erase(last, 1);
            }
        }
    }
    return stamp;
}

namespace {

// The number of `n` digits at `at`; -1 when a place holds anything but a digit.
int digitsAt(std::string_view text, std::size_t at, std::size_t n) {
    if (at + n > text.size()) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

DateUse judgeDate(std::string_view dateTimeOriginal, std::string_view /*stamp*/) {
    std::string_view date = dateTimeOriginal;
    if (date.empty()) {
        return DateUse::missing;
    }
    while (!date.empty() && date.back() == ' ') {
        date.remove_suffix(1);
    }
    // The length tells the form: a day, a day and minutes, or a day and seconds.
    if (date.size() != 10 && date.size() != 16 && date.size() != 19) {
        return DateUse::unusable;
    }
    const bool withTime = date.size() > 10;
    const bool withSeconds = date.size() == 19;
    if (date[4] != ':' || date[7] != ':' || (withTime && (date[10] != ' ' || date[13] != ':')) ||
        (withSeconds && date[16] != ':')) {
        return DateUse::unusable;
    }
    const int hour = withTime ? digitsAt(date, 11, 2) : 0;
    const int minute = withTime ? digitsAt(date, 14, 2) : 0;
    const int second = withSeconds ? digitsAt(date, 17, 2) : 0;
    const bool real = isRealDateTime(digitsAt(date, 0, 4), digitsAt(date, 5, 2),
                                     digitsAt(date, 8, 2), hour, minute, second);
    return real ? DateUse::usable : DateUse::unusable;
}

bool carriesStampedName(std::string_view fileName, std::string_view baseName, int counterLimit) {
    if (!fileName.starts_with(baseName) || !fileName.ends_with(".jpg")) {
        return false;
    }
    std::string_view rest = fileName.substr(baseName.size());
    rest.remove_suffix(4);
    if (rest.empty()) {
        return true;
    }
    if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-' || rest[1] == '0') {
        return false;
    }
    const int counter = digitsAt(rest, 1, rest.size() - 1);
    return counter >= 2 && counter <= counterLimit;
}

bool dateFieldHasGap(std::string_view field) {
    const std::size_t end = field.find('\0');
    return end != std::string_view::npos &&
           field.find_first_not_of('\0', end) != std::string_view::npos;
}

} // namespace shotstamp
