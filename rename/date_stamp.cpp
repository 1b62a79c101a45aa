#include "date_stamp.h"

#include "platform/files.h"
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

DateUse judgeDate(std::string_view dateTimeOriginal, std::string_view stamp) {
    if (dateTimeOriginal.empty()) {
        return DateUse::missing;
    }
    bool anyDigit = false;
    bool nonZeroDigit = false;
    for (std::size_t at = 0; at < dateTimeOriginal.size();
         at += text::characterLength(dateTimeOriginal, at)) {
        const char c = dateTimeOriginal[at];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            nonZeroDigit = nonZeroDigit || c != '0';
        }
    }
    if (!anyDigit || !nonZeroDigit) {
        return DateUse::unusable;
    }
    for (std::size_t at = 0; at < stamp.size(); at += text::characterLength(stamp, at)) {
        if (text::characterLength(stamp, at) != 1) {
            continue;
        }
        const auto byte = static_cast<unsigned char>(stamp[at]);
        if (byte == '/' || byte == '\\' || !files::nameByteAllowed(byte)) {
            return DateUse::unusable;
        }
    }
    return DateUse::usable;
}

} // namespace shotstamp
