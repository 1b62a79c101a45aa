// Writes the fuzzer's seed inputs: whole JPEG files and bare TIFF blocks (the fuzzer also wraps
// every input in an Exif segment), made with the unit tests' byte builder.
//
//   make_fuzz_seeds FOLDER

#include "jpeg_builder.h"

#include <cstdio>
#include <string>

using namespace shotstamp::testing;

namespace {

bool write(const std::string& folder, const std::string& name, const Bytes& bytes) {
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes richBlock(bool motorola) {
    const TiffBuilder t(motorola);
    Directory ifd0{{t.ascii(0x010F, "Maker"), t.ascii(0x0110, "Model"), t.shortEntry(0x0112, 6),
                    t.rational(0x011A, 72, 1), t.shortEntry(0x0128, 3),
                    TiffBuilder::pointer(0x8769, 2)},
                   1};
    Directory ifd1{{t.longEntry(0x0201, 8), t.longEntry(0x0202, 16), t.rational(0x011B, 180, 1)}};
    Directory exif{
        {t.rational(0x829A, 1, 60), t.srational(0x9201, 6, 1), t.rational(0x9202, 4, 1),
         t.shortEntry(0x8827, 2), t.undefined(0x9000, bytesOf("0220")),
         t.ascii(0x9003, "2005:12:30 20:57:32"), t.shortEntry(0x9209, 0x19),
         t.floatEntry(0x920A, 35.0F), t.doubleEntry(0x9206, 2.5),
         t.undefined(0x9286,
                     concat({bytesOf(std::string_view("ASCII\0\0\0", 8)), bytesOf("comment  ")})),
         t.longEntry(0xA002, 2000), t.shortEntry(0xA003, 1500), t.rational(0xA20E, 1000, 1),
         t.shortEntry(0xA210, 4), TiffBuilder::pointer(0xA005, 3)}};
    Directory interop{{t.ascii(0x0001, "R98")}};
    return t.build({ifd0, ifd1, exif, interop});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_fuzz_seeds FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    const TiffBuilder ii(false);
    Directory loop{{ii.ascii(0x010F, "loop")}};
    loop.rawNext = 8;
    std::vector<Directory> chain;
    for (int i = 0; i < 40; ++i) {
        chain.push_back(Directory{{ii.shortEntry(0x8822, static_cast<std::uint32_t>(i)),
                                   TiffBuilder::pointer(0x8769, i + 1 < 40 ? i + 1 : 0)}});
    }
    bool ok = true;
    ok = ok && write(folder, "tiff_intel", richBlock(false));
    ok = ok && write(folder, "tiff_motorola", richBlock(true));
    ok = ok && write(folder, "tiff_loop", ii.build({loop}));
    ok = ok && write(folder, "tiff_chain", ii.build(chain));
    ok = ok && write(folder, "jpeg_intel.jpg",
                     JpegBuilder().soi().exif(richBlock(false)).sof(0xC0, 48, 64, 3).sos().bytes());
    ok = ok && write(folder, "jpeg_motorola.jpg",
                     JpegBuilder()
                         .soi()
                         .segment(0xE0, bytesOf("JFIF"))
                         .com("before\r\n\x01")
                         .exif(richBlock(true))
                         .segment(0xE1, bytesOf("http://ns.adobe.com/xap/1.0/"))
                         .sof(0xC2, 480, 640, 1)
                         .sos()
                         .bytes());
    ok = ok && write(folder, "jpeg_padding_eoi.jpg",
                     concat({{0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFE, 0, 4, 'h', 'i'},
                             {0xFF, 0xC0, 0, 5, 8, 0, 1},
                             {0xFF, 0xD9, 0, 2}}));
    ok = ok &&
         write(folder, "jpeg_two_exif.jpg",
               JpegBuilder().soi().exif(richBlock(false)).exif(ii.build({loop})).sos().bytes());
    if (!ok) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
