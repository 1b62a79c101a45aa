#pragma once

// The date step as a rename runs it: from what a scan read to the moment the new name is made
// from, or the reason the file keeps its name. The window's rule (a JPEG's DateTimeOriginal, its
// stamp made from the text as written) and the command-line tool's chain meet here.

#include "capture/date_inputs.h"
#include "rename_options.h"
#include "rename_outcome.h"
#include "scan.h"

#include <string>
#include <vector>

namespace shotstamp {

// The command-line tool's date rules: the chain's sources, zone and video setting.
struct DatingRules {
    capture::DateSettings date;
    // True while the chain is only `exif`: a JPEG is then dated exactly as the window dates it.
    bool exifOnly() const {
        return date.rules.order.size() == 1 && date.rules.order[0] == capture::DateSource::exif;
    }
};

struct PictureDate {
    RenameKind kept = RenameKind::renamed; // renamed: a date was found; else why not
    std::string message;                   // the reader's or chain's words for `kept`
    // The window's stamp made from DateTimeOriginal as written ("2005-12-30 205732"); empty when
    // the date came from the chain.
    std::string stamp;
    CaptureTime time;   // the moment, for templates and the chain's names (found() when parsed)
    std::string source; // the field it came from ("DateTimeOriginal", "file name")
    std::vector<std::string> notes; // "day only, from the file name", disagreement warnings
};

// Dates one scanned file. `record` is the JPEG record to use (the scan's own, or one read again
// past the kept segments).
PictureDate datePicture(const PictureScan& scan, const ExifDate& record,
                        const RenameOptions& options);

// Moves a moment by a clock correction; a day-only moment moves by whole days of it. False when
// the result leaves the years 1 to 9999.
bool shiftCaptureTime(CaptureTime& time, std::int64_t seconds);

} // namespace shotstamp
