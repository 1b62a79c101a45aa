// Writes the bundled sample pictures: tiny but complete baseline JPEGs (16 x 16 pixels, four
// flat-coloured blocks) with an Exif segment holding a known DateTimeOriginal.
//
//   make_samples FOLDER
//
// The output is byte-for-byte the same on every run, so the committed samples can be checked
// against it.

#include "jpeg_builder.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using shotstamp::testing::Bytes;
using shotstamp::testing::Directory;
using shotstamp::testing::JpegBuilder;
using shotstamp::testing::TiffBuilder;

// Appends bits most significant first, with the 0xFF byte stuffing of entropy-coded data.
class BitWriter {
public:
    void put(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = static_cast<std::uint8_t>((current_ << 1) | ((bits >> i) & 1U));
            if (++filled_ == 8) {
                flush();
            }
        }
    }
    Bytes finish() {
        while (filled_ != 0) {
            put(1, 1); // pad with one-bits
        }
        return bytes_;
    }

private:
    void flush() {
        bytes_.push_back(current_);
        if (current_ == 0xFF) {
            bytes_.push_back(0x00);
        }
        current_ = 0;
        filled_ = 0;
    }
    Bytes bytes_;
    std::uint8_t current_ = 0;
    int filled_ = 0;
};

// The usual luminance DC table: code lengths per category 0 to 11.
constexpr std::array<std::uint8_t, 16> kDcCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
// One AC symbol only, end of block (0x00), coded as the single bit 0: every block is flat.
constexpr std::array<std::uint8_t, 16> kAcCounts = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int kQuant = 8; // every coefficient divided by 8: a flat block's DC is its level - 128

struct Code {
    std::uint32_t bits;
    int length;
};

// Canonical Huffman codes of the DC table, by category.
std::array<Code, 12> dcCodes() {
    std::array<Code, 12> codes{};
    std::uint32_t code = 0;
    int symbol = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < kDcCounts[static_cast<std::size_t>(length - 1)]; ++i) {
            codes[static_cast<std::size_t>(symbol++)] = {code++, length};
        }
        code <<= 1;
    }
    return codes;
}

struct Rgb {
    double r, g, b;
};

// Entropy-coded data of a 16 x 16 picture: four 8 x 8 blocks, each of one colour, 4:4:4 YCbCr.
Bytes encodeScan(const std::array<Rgb, 4>& blocks) {
    const std::array<Code, 12> dc = dcCodes();
    BitWriter out;
    std::array<int, 3> previous{0, 0, 0};
    for (const Rgb& c : blocks) {
        const std::array<double, 3> ycc = {
            0.299 * c.r + 0.587 * c.g + 0.114 * c.b,
            128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b,
            128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b,
        };
        for (std::size_t k = 0; k < 3; ++k) {
            // A flat block's DC coefficient is 8 x (level - 128); quantised by 8.
            const int value = static_cast<int>(std::lround(ycc[k])) - 128;
            const int diff = value - previous[k];
            previous[k] = value;
            int category = 0;
            while ((std::abs(diff) >> category) != 0) {
                ++category;
            }
            out.put(dc[static_cast<std::size_t>(category)].bits,
                    dc[static_cast<std::size_t>(category)].length);
            if (category > 0) {
                const int bits = diff > 0 ? diff : diff + (1 << category) - 1;
                out.put(static_cast<std::uint32_t>(bits), category);
            }
            out.put(0, 1); // end of block
        }
    }
    return out.finish();
}

struct Sample {
    const char* name;
    bool motorola;
    const char* dateTimeOriginal; // nullptr: no Exif segment at all
    const char* model;
    std::array<Rgb, 4> colours;
};

Bytes exifBlock(const Sample& s) {
    const TiffBuilder t(s.motorola);
    Directory ifd0{{t.ascii(0x010F, "Shotstamp"), t.ascii(0x0110, s.model), t.shortEntry(0x0112, 1),
                    t.rational(0x011A, 72, 1), t.rational(0x011B, 72, 1), t.shortEntry(0x0128, 2),
                    TiffBuilder::pointer(0x8769, 1)}};
    Directory exif{{t.rational(0x829A, 1, 125), t.rational(0x829D, 56, 10),
                    t.shortEntry(0x8827, 200),
                    t.undefined(0x9000, shotstamp::testing::bytesOf("0230")),
                    t.ascii(0x9003, s.dateTimeOriginal), t.shortEntry(0x9209, 0x10),
                    t.rational(0x920A, 35, 1), t.shortEntry(0xA002, 16), t.shortEntry(0xA003, 16)}};
    return t.build({ifd0, exif});
}

Bytes picture(const Sample& s) {
    Bytes dqt{0x00};
    dqt.insert(dqt.end(), 64, kQuant);
    // Room for the whole table up front: GCC 12 at -O3 misreads the inlined growth of a
    // one-byte vector as a read out of its bounds.
    Bytes dht;
    dht.reserve(1 + kDcCounts.size() + 12 + 1 + kAcCounts.size() + 1);
    dht.push_back(0x00);
    dht.insert(dht.end(), kDcCounts.begin(), kDcCounts.end());
    for (std::uint8_t v = 0; v < 12; ++v) {
        dht.push_back(v);
    }
    dht.push_back(0x10);
    dht.insert(dht.end(), kAcCounts.begin(), kAcCounts.end());
    dht.push_back(0x00);
    JpegBuilder b;
    b.soi().segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (s.dateTimeOriginal != nullptr) {
        b.exif(exifBlock(s));
    }
    b.segment(0xDB, dqt);
    // Frame: precision 8, 16 x 16, three components, each 1x1 sampling with quant table 0.
    b.segment(0xC0, {8, 0, 16, 0, 16, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
    b.segment(0xC4, dht);
    b.segment(0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});
    b.raw(encodeScan(s.colours));
    b.raw({0xFF, 0xD9});
    return b.bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_samples FOLDER\n", stderr);
        return 2;
    }
    const Rgb red{220, 40, 40};
    const Rgb green{40, 180, 70};
    const Rgb blue{40, 80, 220};
    const Rgb yellow{240, 210, 40};
    const Rgb grey{128, 128, 128};
    const Rgb white{250, 250, 250};
    const Sample samples[] = {
        {"IMG_0001.jpg", false, "2005:12:30 20:57:32", "Sample One", {red, green, blue, yellow}},
        {"IMG_0002.jpg", true, "2019:07:04 09:15:00", "Sample Two", {blue, blue, white, white}},
        {"IMG_0003.jpg",
         false,
         "2023:02:28 23:59:59",
         "Sample Three",
         {green, yellow, yellow, green}},
        // The same moment as IMG_0001: its new name is taken, so it keeps its own.
        {"IMG_0004.jpg", true, "2005:12:30 20:57:32", "Sample Four", {red, red, red, white}},
        {"no_exif.jpg", false, nullptr, "", {grey, white, white, grey}},
    };
    for (const Sample& s : samples) {
        const std::string path = std::string(argv[1]) + "/" + s.name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
            return 1;
        }
        const Bytes bytes = picture(s);
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (std::fclose(f) != 0 || !written) {
            std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
