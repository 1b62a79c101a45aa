// Prints the EXIF dates the date step finds in each JPEG named on the command line, one JSON
// object per file, with exiftool's tag names and text forms, for the differential test.
#include "capture/exif_dates.h"
#include "capture/zone.h"
#include "metadata/picture_reader.h"

#include <cstdio>
#include <string>

namespace {

using namespace shotstamp;
using namespace shotstamp::capture;

// exiftool's form: "YYYY:MM:DD HH:MM:SS".
std::string exifForm(const CaptureTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void field(std::string& json, const char* name, const std::string& value) {
    if (!value.empty()) {
        json += std::string(", \"") + name + "\": \"" + value + "\"";
    }
}

std::string offset(const std::string& text) {
    int minutes = 0;
    return parseUtcOffset(text, minutes) ? offsetText(minutes) : std::string();
}

} // namespace

int main(int argc, char** argv) {
    std::printf("[");
    for (int i = 1; i < argc; ++i) {
        std::FILE* file = std::fopen(argv[i], "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "cannot open %s\n", argv[i]);
            return 1;
        }
        ExifDateTexts texts;
        PictureReader reader;
        reader.setDateTexts(&texts);
        reader.readSections(file);
        std::fclose(file);
        std::string json = std::string("{\"SourceFile\": \"") + argv[i] + "\"";
        for (const Candidate& c : exifCandidates(texts)) {
            const std::string plain = exifForm(c.time);
            const std::string sub = c.time.subseconds.empty() ? "" : "." + c.time.subseconds;
            const std::string zone = c.time.hasOffset ? offsetText(c.time.offsetMinutes) : "";
            switch (c.time.field) {
            case DateField::dateTimeOriginal:
                // exiftool's composite takes OffsetTimeOriginal alone; the date step also falls
                // back to OffsetTime, which this comparison leaves out.
                field(json, "DateTimeOriginal", plain);
                field(json, "SubSecDateTimeOriginal", plain + sub + offset(texts.originalOffset));
                break;
            case DateField::dateTimeDigitized:
                field(json, "CreateDate", plain);
                field(json, "SubSecCreateDate", plain + sub + zone);
                break;
            case DateField::dateTimeModified:
                field(json, "ModifyDate", plain);
                field(json, "SubSecModifyDate", plain + sub + zone);
                break;
            default:
                field(json, "GPSDateTime", plain + sub + "Z");
                break;
            }
        }
        field(json, "OffsetTime", offset(texts.modifiedOffset));
        field(json, "OffsetTimeOriginal", offset(texts.originalOffset));
        field(json, "OffsetTimeDigitized", offset(texts.digitizedOffset));
        std::printf("%s%s}", i > 1 ? ",\n" : "\n", json.c_str());
    }
    std::printf("\n]\n");
    return 0;
}
