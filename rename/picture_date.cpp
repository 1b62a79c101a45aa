#include "picture_date.h"

#include "capture/date_chain.h"
#include "capture/zone.h"
#include "clock_shift.h"
#include "date_stamp.h"

#include <algorithm>
#include <cstring>

namespace shotstamp {

namespace {

std::string fieldText(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end != nullptr ? static_cast<const char*>(end) - field : size);
}

// The sub-second digits as the camera wrote them, without the spaces some pad them with; empty
// unless what is left is all digits.
std::string subsecondDigits(const ExifDate& record) {
    std::string digits = fieldText(record.subSecTimeOriginal, sizeof record.subSecTimeOriginal);
    while (!digits.empty() && digits.back() == ' ') {
        digits.pop_back();
    }
    digits.erase(0, std::min(digits.find_first_not_of(' '), digits.size()));
    const bool allDigits =
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return allDigits ? digits : std::string();
}

// Why a JPEG without a readable EXIF block keeps its name.
RenameKind withoutExif(const PictureScan& scan) {
    if (!scan.startsLikeJpeg) {
        return RenameKind::notJpeg;
    }
    if (scan.exifSegmentFound) {
        return RenameKind::unreadableExif;
    }
    return scan.sectionLimitReached ? RenameKind::exifPastKeptSections : RenameKind::noExif;
}

// A date text the window's rule accepts, read into a moment: "YYYY:MM:DD HH:MM:SS", or the
// shorter "YYYY:MM:DD HH:MM" and "YYYY:MM:DD" forms it also takes.
CaptureTime momentOfText(std::string_view text) {
    CaptureTime t;
    if (parseExifDateTime(text, t)) {
        t.field = DateField::dateTimeOriginal;
        return t;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) ||
        !readDigits(text, 8, 2, day)) {
        return t;
    }
    t.year = year;
    t.month = month;
    t.day = day;
    t.hasTime = readDigits(text, 11, 2, t.hour) && readDigits(text, 14, 2, t.minute);
    if (!t.hasTime) {
        t.hour = 0;
    }
    t.field = DateField::dateTimeOriginal;
    return t;
}

// The window's rule: DateTimeOriginal as written, its stamp made from the text.
PictureDate dateAsWritten(const PictureScan& scan, const ExifDate& record,
                          const RenameOptions& options) {
    PictureDate date;
    if (!record.exifPresent) {
        date.kept = withoutExif(scan);
        if (date.kept == RenameKind::unreadableExif) {
            date.message = scan.readerMessage;
        }
        return date;
    }
    if (dateFieldHasGap({record.dateTimeOriginal, sizeof record.dateTimeOriginal})) {
        date.kept = RenameKind::unusableDate;
        return date;
    }
    std::string text = fieldText(record.dateTimeOriginal, sizeof record.dateTimeOriginal);
    if (options.shiftSeconds != 0 && !text.empty()) {
        std::string shifted;
        if (!shiftExifDateTime(text, options.shiftSeconds, shifted)) {
            date.kept = RenameKind::unusableDate;
            return date;
        }
        text = shifted;
    }
    date.stamp = makeDateStamp(text);
    switch (judgeDate(text, date.stamp)) {
    case DateUse::missing:
        date.kept = RenameKind::noDate;
        return date;
    case DateUse::unusable:
        date.kept = RenameKind::unusableDate;
        return date;
    case DateUse::usable:
        break;
    }
    date.time = momentOfText(text);
    if (isExifDateTime(text)) {
        date.time.subseconds = subsecondDigits(record);
    }
    date.source = dateFieldName(DateField::dateTimeOriginal);
    return date;
}

// The command-line tool's chain over everything the scan read.
PictureDate dateByChain(const PictureScan& scan, const RenameOptions& options) {
    PictureDate date;
    const capture::DateSettings& settings = options.dating->date;
    const capture::DateInputs inputs = capture::dateInputsFor(
        scan.found, scan.fileName, scan.modificationTime, scan.sidecarXmp, settings.videoTimeLocal);
    capture::DateChoice choice =
        capture::chooseDate(capture::gatherCandidates(inputs), settings.rules);
    date.notes = choice.warnings;
    if (!choice.found()) {
        if (scan.found.container == ContainerKind::unknown) {
            // A ".jpg" that is no JPEG is told as the window tells it.
            const bool jpegName = containerOfExtension(scan.fileName) == ContainerKind::jpeg;
            date.kept = jpegName ? RenameKind::notJpeg : RenameKind::unknownContent;
            date.message = jpegName ? std::string() : scan.found.message;
        } else {
            date.kept = RenameKind::noDate;
            date.message = !scan.found.message.empty() ? scan.found.message : choice.why;
        }
        return date;
    }
    date.time = choice.value;
    const capture::Candidate& chosen = *choice.choice();
    date.source = dateFieldName(chosen.time.field);
    if (options.shiftSeconds != 0 && !shiftCaptureTime(date.time, options.shiftSeconds)) {
        date.kept = RenameKind::unusableDate;
        return date;
    }
    if (!date.time.hasTime) {
        date.notes.insert(date.notes.begin(), chosen.time.field == DateField::fileName
                                                  ? "day only, from the file name"
                                                  : "day only");
    }
    return date;
}

} // namespace

bool shiftCaptureTime(CaptureTime& time, std::int64_t seconds) {
    const std::int64_t days = daysFromCivil(time.year, time.month, time.day);
    const std::int64_t moved =
        days * 86400 + time.hour * 3600 + time.minute * 60 + time.second + seconds;
    CaptureTime shifted = time;
    setSecondsSince1970(moved, shifted);
    if (shifted.year < 1 || shifted.year > 9999) {
        return false;
    }
    if (!time.hasTime) {
        shifted.hour = shifted.minute = shifted.second = 0;
    }
    time = shifted;
    return true;
}

PictureDate datePicture(const PictureScan& scan, const ExifDate& record,
                        const RenameOptions& options) {
    if (options.dating == nullptr || (scan.startsLikeJpeg && options.dating->exifOnly())) {
        PictureDate date = dateAsWritten(scan, record, options);
        if (options.dating != nullptr && date.kept == RenameKind::renamed) {
            // The other dates still count, to warn of a wrong camera clock.
            capture::DateInputs inputs;
            inputs.exif = scan.found.exif;
            inputs.fileName = scan.fileName;
            date.notes = capture::disagreements(inputs, options.dating->date.rules.nowUtc);
        }
        return date;
    }
    return dateByChain(scan, options);
}

} // namespace shotstamp
