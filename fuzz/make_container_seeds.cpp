// Writes the container fuzzers' seeds, one folder per family, made with the tests' builders. The
// ISO-BMFF ones are also the generated half of the container comparison with exiftool; each of
// those carries a date of its own, so that a mix-up between files shows.
//
//   make_container_seeds FOLDER

#include "box_builder.h"
#include "container_builders.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace shotstamp::testing;

namespace {

bool write(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(folder);
    std::FILE* f = std::fopen((folder / name).string().c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes heif(std::string_view brand, bool motorola, int method, std::string_view date) {
    HeifOptions o;
    o.brand = std::string(brand);
    o.items = {{3, "mime", "application/rdf+xml", bytesOf("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"),
                method},
               {5, "Exif", "", exifItem(exifTiff(motorola, date, "25")), method}};
    return heifFile(o);
}

Bytes video(std::string_view brand, const MovieDates& dates) {
    return concat({ftyp(brand, brand), box("mdat", Bytes(256, 0)), movieBox(dates)});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_container_seeds FOLDER\n", stderr);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::string iso = (root / "isobmff").string();
    std::filesystem::create_directories(iso);
    // Seconds since 1904: 2021-03-04 05:06:07 UTC.
    constexpr std::uint64_t kSeconds = 3697765567ULL;
    bool ok =
        write(iso, "intel.heic", heif("heic", false, 0, "2021:01:02 03:04:05")) &&
        write(iso, "motorola.heic", heif("heic", true, 0, "2021:01:02 03:04:06")) &&
        write(iso, "item_data.heic", heif("heic", true, 1, "2021:01:02 03:04:07")) &&
        write(iso, "intel.avif", heif("avif", false, 0, "2021:01:02 03:04:08")) &&
        write(iso, "intel.cr3", cr3File(false, "2021:01:02 03:04:09")) &&
        write(iso, "motorola.cr3", cr3File(true, "2021:01:02 03:04:10")) &&
        write(iso, "keys.mov", video("qt  ", {kSeconds, 0, "2021-03-04T14:06:07+0900", ""})) &&
        write(iso, "user_data.mp4",
              video("mp42", {kSeconds, 0, "", "2021-03-04T04:36:07-00:30"})) &&
        write(iso, "header.mp4", video("isom", {kSeconds, 0, "", ""})) &&
        write(iso, "header_v1.3gp", video("3gp5", {kSeconds + 1, 1, "", ""}));
    for (const bool motorola : {false, true}) {
        const std::string order = motorola ? "_mm" : "_ii";
        const Bytes tiff = exifBlock(motorola, "2021:07:04 10:20:30", "25");
        const Bytes jxlExif = concat({big32(0), tiff});
        ok = ok && write(root / "tiff_raw", "tiff" + order, tiff);
        ok = ok && write(root / "raf", "raf" + order, raf(tiff));
        ok = ok && write(root / "png", "exif" + order,
                         png({pngChunk("IDAT", Bytes(40, 1)), pngChunk("eXIf", tiff)}));
        ok =
            ok && write(root / "png", "profile" + order,
                        png({pngChunk("zTXt", concat({textKeyword("Raw profile type exif"),
                                                      {0},
                                                      zlibPacked(rawProfile(tiff))})),
                             pngChunk("tEXt", concat({textKeyword("Creation Time"),
                                                      bytesOf("Tue, 19 May 2022 14:24:34 +0200")})),
                             pngChunk("iTXt", concat({textKeyword("XML:com.adobe.xmp"), Bytes(4, 0),
                                                      bytesOf("<x:xmpmeta/>")}))}));
        ok = ok && write(root / "webp", "webp" + order,
                         webp({riffChunk("VP8X", Bytes(10, 0)), riffChunk("ALPH", Bytes(3, 1)),
                               riffChunk("EXIF", exifPayload(tiff)),
                               riffChunk("XMP ", bytesOf("<x:xmpmeta/>"))}));
        ok = ok && write(root / "jxl", "jxl" + order,
                         jxl({box("jxlc", Bytes(20, 2)), box("Exif", jxlExif),
                              box("xml ", bytesOf("<x:xmpmeta/>"))}));
        ok = ok && write(root / "jxl", "brob" + order,
                         jxl({box("brob", concat({bytesOf("Exif"), brotliPacked(jxlExif)}))}));
    }
    Bytes orf = exifBlock(false, "2021:07:04 10:20:30");
    orf[2] = 'R';
    orf[3] = 'O';
    ok = ok && write(root / "tiff_raw", "orf", orf);
    if (!ok) {
        std::fputs("make_container_seeds: cannot write the seeds\n", stderr);
        return 1;
    }
    return 0;
}
