// Writes the container fuzzers' seeds, one folder per walker, made with the tests' builders.
//
//   make_container_seeds FOLDER

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_container_seeds FOLDER\n", stderr);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    bool ok = true;
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
