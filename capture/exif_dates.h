#pragma once

// The candidates an EXIF block offers: DateTimeOriginal, CreateDate and ModifyDate with their
// fractions and offsets, and the GPS date and time (UTC).

#include "candidate.h"

#include <vector>

namespace shotstamp::capture {

// One candidate per readable date, in the order exif, digitized, gps, modified. A text that is
// not a real date and time gives no candidate; a fraction or offset that cannot be read is left
// off the date it belongs to.
std::vector<Candidate> exifCandidates(const ExifDateTexts& texts);

} // namespace shotstamp::capture
