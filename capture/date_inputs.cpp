#include "date_inputs.h"

namespace shotstamp::capture {

namespace {

bool isVideoHeader(DateField field) {
    return field == DateField::movieHeader || field == DateField::quickTimeCreationDate ||
           field == DateField::quickTimeYear;
}

} // namespace

std::string_view fileNameOf(std::string_view path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::vector<std::string> sidecarPaths(std::string_view path) {
    const std::string_view name = fileNameOf(path);
    if (name.empty()) {
        return {};
    }
    std::vector<std::string> paths;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        const std::size_t stemEnd = path.size() - name.size() + dot;
        paths.push_back(std::string(path.substr(0, stemEnd)) + ".xmp");
    }
    paths.push_back(std::string(path) + ".xmp");
    return paths;
}

DateInputs dateInputsFor(const ExtractedMetadata& found, std::string_view fileName,
                         std::optional<std::int64_t> modificationTime, std::string sidecarXmp,
                         bool videoTimeLocal) {
    DateInputs inputs;
    inputs.exif = found.exif;
    inputs.xmpPacket = found.xmpPacket;
    inputs.sidecarXmp = std::move(sidecarXmp);
    inputs.fileName = std::string(fileName);
    inputs.modificationTime = modificationTime;
    CaptureTime capture = found.capture;
    // DateTimeOriginal is in the EXIF texts already, unless the walker found no EXIF block.
    const bool fromExif = capture.field == DateField::dateTimeOriginal && found.exifFound;
    if (!capture.found() || fromExif) {
        return inputs;
    }
    const bool video = isVideoHeader(capture.field);
    if (video && videoTimeLocal && capture.isUtc) {
        capture.isUtc = false;
    }
    const std::string origin = std::string(found.content.name) + " container";
    inputs.fromContainer.push_back(
        Candidate{DateSource::exif, capture, precisionOf(capture), origin, {}});
    if (video) {
        inputs.fromContainer.push_back(
            Candidate{DateSource::digitized, capture, precisionOf(capture), origin, {}});
    }
    return inputs;
}

} // namespace shotstamp::capture
