#include "png.h"

#include "read_window.h"
#include "tiff_raw.h"

#define ZLIB_CONST
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace shotstamp {

namespace {

constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr int kMaxChunks = 1 << 20; // header reads stop far earlier, at the read budget
constexpr std::size_t kKeywordRead = 80;

// Inflates a zlib stream into `out`, giving up beyond kMaxMetadataBlock bytes.
bool inflateBounded(const std::uint8_t* data, std::size_t size, std::string& out) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return false;
    }
    stream.next_in = data;
    stream.avail_in = static_cast<uInt>(size);
    std::array<char, 16 * 1024> chunk{};
    int status = Z_OK;
    while (status == Z_OK && out.size() <= kMaxMetadataBlock) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk.data(), chunk.size() - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break; // truncated stream: keep what came
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && out.size() <= kMaxMetadataBlock;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "\nexif\n    LENGTH\nHEX..." as ImageMagick and exiftool write it: the decoded bytes.
bool decodeRawProfile(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::size_t at = text.find_first_not_of('\n');
    at = at == std::string_view::npos ? at : text.find('\n', at); // the profile's name
    if (at == std::string_view::npos) {
        return false;
    }
    at = text.find_first_not_of(" \t\r\n", at);
    std::uint64_t length = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        length = length * 10 + static_cast<std::uint64_t>(text[at] - '0');
        if (length > kMaxMetadataBlock) {
            return false;
        }
    }
    bytes.clear();
    int high = -1;
    for (; at < text.size() && bytes.size() < length; ++at) {
        const int v = hexValue(text[at]);
        if (v < 0) {
            continue; // line breaks between the rows
        }
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return length > 0 && bytes.size() == length;
}

bool number(std::string_view text, std::size_t& at, std::size_t digits, int& value) {
    if (at + digits > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < digits; ++i, ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return false;
        }
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

bool literal(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// A zone after a time: "Z", "GMT", "UT", "UTC", "+HH:MM", "+HHMM"; nothing leaves it unknown.
bool parseZone(std::string_view zone, CaptureTime& time) {
    while (!zone.empty() && zone.front() == ' ') {
        zone.remove_prefix(1);
    }
    if (zone.empty()) {
        return true;
    }
    if (zone == "Z" || zone == "GMT" || zone == "UT" || zone == "UTC") {
        time.hasOffset = true;
        time.offsetMinutes = 0;
        return true;
    }
    std::size_t at = 1;
    int hours = 0;
    int minutes = 0;
    if ((zone[0] != '+' && zone[0] != '-') || !number(zone, at, 2, hours)) {
        return false;
    }
    literal(zone, at, ':');
    if (!number(zone, at, 2, minutes) || at != zone.size() || hours > 18 || minutes > 59) {
        return false;
    }
    time.hasOffset = true;
    time.offsetMinutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// ISO 8601 "YYYY-MM-DD[T ]HH:MM[:SS][.fff][zone]", or the EXIF form with colons.
bool parseIsoTime(std::string_view text, CaptureTime& time) {
    std::size_t at = 0;
    const char dateSeparator = text.size() > 4 ? text[4] : '-';
    if ((dateSeparator != '-' && dateSeparator != ':') || !number(text, at, 4, time.year) ||
        !literal(text, at, dateSeparator) || !number(text, at, 2, time.month) ||
        !literal(text, at, dateSeparator) || !number(text, at, 2, time.day) ||
        !(literal(text, at, 'T') || literal(text, at, ' ')) || !number(text, at, 2, time.hour) ||
        !literal(text, at, ':') || !number(text, at, 2, time.minute)) {
        return false;
    }
    if (literal(text, at, ':') && !number(text, at, 2, time.second)) {
        return false;
    }
    if (literal(text, at, '.') || literal(text, at, ',')) {
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            time.subseconds.push_back(text[at++]);
        }
    }
    return parseZone(text.substr(at), time);
}

// RFC 1123 "[Wkd, ]DD Mon YYYY HH:MM[:SS] zone" (also with a one-digit day).
bool parseRfc1123Time(std::string_view text, CaptureTime& time) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::size_t at = text.find(',');
    at = at == std::string_view::npos ? 0 : at + 1;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    const std::size_t dayDigits = at + 1 < text.size() && text[at + 1] == ' ' ? 1 : 2;
    if (!number(text, at, dayDigits, time.day) || !literal(text, at, ' ') || at + 4 > text.size()) {
        return false;
    }
    time.month = 0;
    for (std::size_t m = 0; m < kMonths.size(); ++m) {
        if (text.substr(at, 3) == kMonths[m]) {
            time.month = static_cast<int>(m) + 1;
        }
    }
    at += 3;
    if (time.month == 0 || !literal(text, at, ' ') || !number(text, at, 4, time.year) ||
        !literal(text, at, ' ') || !number(text, at, 2, time.hour) || !literal(text, at, ':') ||
        !number(text, at, 2, time.minute)) {
        return false;
    }
    if (literal(text, at, ':') && !number(text, at, 2, time.second)) {
        return false;
    }
    return parseZone(text.substr(at), time);
}

bool parseCreationTime(std::string_view text, CaptureTime& out) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    CaptureTime time;
    if (!parseIsoTime(text, time)) {
        time = CaptureTime{};
        if (!parseRfc1123Time(text, time)) {
            return false;
        }
    }
    if (!isRealDateTime(time.year, time.month, time.day, time.hour, time.minute, time.second)) {
        return false;
    }
    time.field = DateField::pngCreationTime;
    out = time;
    return true;
}

// What the text chunks of one file offered, kept until the walk ends.
struct TextFindings {
    std::vector<std::uint8_t> rawProfile; // decoded EXIF block of a "Raw profile type" text
    CaptureTime creationTime;
    std::string xmp;
};

// The text of a tEXt, zTXt or iTXt chunk after its keyword, inflated where it is compressed.
bool chunkText(std::string_view type, std::string_view data, std::size_t keywordEnd,
               std::string& text) {
    std::size_t at = keywordEnd + 1;
    bool compressed = type == "zTXt";
    if (type == "zTXt") {
        ++at; // compression method
    } else if (type == "iTXt") {
        if (at + 2 > data.size()) {
            return false;
        }
        compressed = data[at] != 0;
        at += 2;
        for (int skip = 0; skip < 2; ++skip) { // language tag, translated keyword
            at = data.find('\0', at);
            if (at == std::string_view::npos) {
                return false;
            }
            ++at;
        }
    }
    if (at > data.size()) {
        return false;
    }
    if (!compressed) {
        text.assign(data.substr(at));
        return true;
    }
    return inflateBounded(reinterpret_cast<const std::uint8_t*>(data.data() + at), data.size() - at,
                          text);
}

void takeTextChunk(std::string_view type, std::string_view data, TextFindings& found) {
    const std::size_t keywordEnd = data.find('\0');
    if (keywordEnd == std::string_view::npos) {
        return;
    }
    const std::string_view keyword = data.substr(0, keywordEnd);
    std::string text;
    if (!chunkText(type, data, keywordEnd, text)) {
        return;
    }
    if (keyword == "Raw profile type exif" || keyword == "Raw profile type APP1") {
        std::vector<std::uint8_t> bytes;
        if (found.rawProfile.empty() && decodeRawProfile(text, bytes)) {
            if (bytes.size() >= 6 && std::memcmp(bytes.data(), "Exif\0\0", 6) == 0) {
                bytes.erase(bytes.begin(), bytes.begin() + 6);
            }
            found.rawProfile = std::move(bytes);
        }
    } else if (keyword == "Creation Time") {
        if (!found.creationTime.found()) {
            parseCreationTime(text, found.creationTime);
        }
    } else if (keyword == "XML:com.adobe.xmp" && found.xmp.empty()) {
        found.xmp = std::move(text);
    }
}

bool interestingKeyword(std::string_view head) {
    for (std::string_view keyword :
         {"Raw profile type exif", "Raw profile type APP1", "Creation Time", "XML:com.adobe.xmp"}) {
        if (head.size() > keyword.size() && head.substr(0, keyword.size()) == keyword &&
            head[keyword.size()] == '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

bool extractPng(RandomAccessSource& source, ExtractedMetadata& out) {
    out.container = ContainerKind::png;
    static constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P',  'N',  'G',
                                                               0x0D, 0x0A, 0x1A, 0x0A};
    ReadWindow<256> window(source);
    std::array<std::uint8_t, 8> header{};
    if (!window.read(0, header.data(), 8) || header != kSignature) {
        out.message = "not a PNG signature";
        return false;
    }
    TextFindings found;
    std::uint64_t at = 8;
    bool ended = false;
    for (int i = 0; i < kMaxChunks && !ended; ++i) {
        if (!window.read(at, header.data(), 8)) {
            out.message = source.budgetSpent() ? "the read budget ran out among the PNG chunks"
                                               : "the PNG file ends without an IEND chunk";
            break;
        }
        const std::uint32_t length = readBig32(header.data());
        const std::string_view type(reinterpret_cast<const char*>(header.data() + 4), 4);
        if (length > kMaxChunkLength || at + 12 + length > source.size()) {
            out.message = "a PNG chunk's length reaches past the end of the file";
            break;
        }
        const std::uint64_t data = at + 8;
        at = data + length + 4; // the CRC is not checked
        ended = type == "IEND";
        std::vector<std::uint8_t> block;
        if (type == "eXIf") {
            if (!window.block(data, length, block, out)) {
                continue;
            }
            if (block.size() >= 6 && std::memcmp(block.data(), "Exif\0\0", 6) == 0) {
                block.erase(block.begin(), block.begin() + 6);
            }
            if (captureFromTiff(block.data(), static_cast<std::uint32_t>(block.size()), out) &&
                out.capture.found()) {
                return true;
            }
        } else if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            // Only the keyword is read first; other texts are skipped unread.
            std::string head(std::min<std::size_t>(length, kKeywordRead), '\0');
            if (!window.read(data, reinterpret_cast<std::uint8_t*>(head.data()), head.size()) ||
                !interestingKeyword(head)) {
                continue;
            }
            if (head.size() == length) {
                block.assign(head.begin(), head.end()); // a short chunk is read once
            } else if (!window.block(data, length, block, out)) {
                continue;
            }
            takeTextChunk(
                type, std::string_view(reinterpret_cast<const char*>(block.data()), block.size()),
                found);
        }
    }
    if (!found.rawProfile.empty() && !out.capture.found()) {
        captureFromTiff(found.rawProfile.data(),
                        static_cast<std::uint32_t>(found.rawProfile.size()), out);
    }
    if (!out.capture.found() && found.creationTime.found()) {
        out.capture = found.creationTime;
    }
    if (found.xmp.size() <= kMaxMetadataBlock) {
        out.xmpPacket = std::move(found.xmp);
    }
    if (out.capture.found()) {
        return true;
    }
    if (out.message.empty()) {
        out.message = "the PNG file holds no capture date";
    }
    return out.exifFound || !out.xmpPacket.empty();
}

} // namespace shotstamp
