#include "picture_reader.h"

#include "exif_parser.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace shotstamp {

namespace {

std::atomic<ReaderMessageSink> messageSink{&writeLineToStandardOutput};
thread_local ReaderMessageCapture* messageCapture = nullptr;

void readerMessage(const char* line) {
    if (messageCapture != nullptr) {
        messageCapture->lines.emplace_back(line);
    } else {
        writeReaderMessage(line);
    }
}

constexpr int kMaxPaddingBytes = 7; // the seventh 0xFF in a row is one too many

bool isFrameMarker(int code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerCom = 0xFE;

// The name space line that opens the APP1 segment of an XMP packet, its zero byte included.
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr std::int32_t kXmpSignatureSize = sizeof kXmpSignature; // with the zero byte

} // namespace

void writeLineToStandardOutput(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void setReaderMessageSink(ReaderMessageSink sink) {
    messageSink.store(sink != nullptr ? sink : &writeLineToStandardOutput);
}

void writeReaderMessage(std::string_view line) {
    messageSink.load()(line);
}

ReaderMessageCapture::ReaderMessageCapture() : outer_(messageCapture) {
    messageCapture = this;
}

ReaderMessageCapture::~ReaderMessageCapture() {
    messageCapture = outer_;
}

PictureReader::PictureReader(PictureRecord* record) : record_(record) {
    if (record_ == nullptr) {
        ownedRecord_.reset(new (std::nothrow) PictureRecord{});
        record_ = ownedRecord_.get();
    }
}

void PictureReader::setError(const char* message) {
    const std::size_t n = std::min(std::strlen(message), errorText_.size() - 1);
    std::memcpy(errorText_.data(), message, n);
    errorText_[n] = '\0';
}

std::uint16_t PictureReader::read16BigEndian(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

bool PictureReader::readSections(std::FILE* file) {
    FileByteSource source(file);
    return readSections(source);
}

bool PictureReader::readSections(ByteSource& source) {
    if (record_ == nullptr) {
        setError("Could not allocate memory");
        return false;
    }
    if (source.readByte() != 0xFF || source.readByte() != 0xD8) {
        return false;
    }
    bool commentTaken = false;
    for (;;) {
        if (sectionCount_ == kMaxSections) {
            setError("Too many sections in jpg file");
            sectionLimitReached_ = true;
            if (lookPast_ && exifSegmentCount_ == 0) {
                findExifPastKeptSections(source);
            }
            return false;
        }
        int code = 0;
        for (int i = 0;; ++i) {
            code = source.readByte();
            if (code != 0xFF) {
                break;
            }
            if (i + 1 == kMaxPaddingBytes) {
                readerMessage("too many padding unsigned chars");
                return false;
            }
        }
        JpegSection& slot = sections_[static_cast<std::size_t>(sectionCount_)];
        slot.marker = code;
        const int high = source.readByte();
        const int low = source.readByte();
        if (code < 0 || high < 0 || low < 0 || high * 256 + low < 2) {
            setError("invalid marker");
            return false;
        }
        const std::int32_t length = high * 256 + low;
        const auto bodyLength = static_cast<std::size_t>(length - 2);
        slot.length = length;
        if (keepOnlyDateBytes_ && !holdsDateBytes(code, commentTaken)) {
            slot.data.reset();
            if (!source.skip(bodyLength)) {
                setError("Premature end of file?");
                return false;
            }
        } else {
            std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[length]);
            if (!buffer) {
                setError("Could not allocate memory");
                return false;
            }
            buffer[0] = static_cast<std::uint8_t>(high);
            buffer[1] = static_cast<std::uint8_t>(low);
            slot.data = std::move(buffer);
            // An APP1 that shows no Exif signature, while no XMP packet is wanted, is passed over
            // after those four bytes: a phone's extended XMP can fill megabytes.
            const bool peek = keepOnlyDateBytes_ && code == kMarkerApp1 &&
                              (xmpPacket_ == nullptr || xmpTaken_) && bodyLength > 4;
            const std::size_t first = peek ? 4 : bodyLength;
            std::uint8_t* body = slot.data.get() + 2;
            bool whole = source.readBlock(body, first) == first;
            if (whole && peek) {
                const std::size_t rest = bodyLength - first;
                whole = std::memcmp(body, "Exif", 4) == 0
                            ? source.readBlock(body + first, rest) == rest
                            : source.skip(rest);
            }
            if (!whole) {
                // The slot is not counted as kept; its buffer goes with the reader or the next
                // segment.
                setError("Premature end of file?");
                return false;
            }
        }
        ++sectionCount_;
        std::uint8_t* data = slot.data.get();
        const auto discard = [this, &slot] {
            --sectionCount_;
            slot.data.reset();
        };
        if (isFrameMarker(code)) {
            takeFrameHeader(data, length, code);
        } else if (code == kMarkerEoi) {
            readerMessage("No image in jpeg!");
            return false;
        } else if (code == kMarkerSos) {
            return true;
        } else if (code == kMarkerApp0) {
            discard();
        } else if (code == kMarkerApp1) {
            if (length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
                takeExifSegment(data + 2, length);
            } else {
                takeXmpPacket(data + 2, length);
                discard();
            }
        } else if (code == kMarkerCom) {
            if (!commentTaken) {
                commentTaken = true;
                if (!skipComment_) {
                    takeComment(data, length);
                }
            } else {
                discard();
            }
        }
    }
}

bool PictureReader::holdsDateBytes(int code, bool commentTaken) const {
    return code == kMarkerApp1 || isFrameMarker(code) ||
           (code == kMarkerCom && !commentTaken && !skipComment_);
}

void PictureReader::findExifPastKeptSections(ByteSource& source) {
    // Every turn consumes at least four bytes, so the end of the file ends the loop.
    for (;;) {
        int code = source.readByte();
        for (int i = 1; code == 0xFF && i < kMaxPaddingBytes; ++i) {
            code = source.readByte();
        }
        const int high = source.readByte();
        const int low = source.readByte();
        if (code < 0 || code == 0xFF || code == kMarkerSos || code == kMarkerEoi || high < 0 ||
            low < 0 || high * 256 + low < 2) {
            return;
        }
        const std::int32_t length = high * 256 + low;
        const auto bodyLength = static_cast<std::size_t>(length - 2);
        if (code != kMarkerApp1) {
            if (!source.skip(bodyLength)) {
                return;
            }
            continue;
        }
        std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[length]);
        if (!data || source.readBlock(data.get() + 2, bodyLength) != bodyLength) {
            return;
        }
        data[0] = static_cast<std::uint8_t>(high);
        data[1] = static_cast<std::uint8_t>(low);
        if (length >= 6 && std::memcmp(data.get() + 2, "Exif", 4) == 0) {
            lateExif_ = std::move(data); // the record's thumbnail may point into it
            takeExifSegment(lateExif_.get() + 2, length);
            return;
        }
    }
}

void PictureReader::takeExifSegment(std::uint8_t* payload, std::int32_t length) {
    ++exifSegmentCount_;
    // A segment that cannot be read leaves no time of its own behind, and does not hide one
    // that an earlier segment gave.
    PictureRecord& r = *record_;
    char date[sizeof r.dateTimeOriginal];
    char subSecond[sizeof r.subSecTimeOriginal];
    std::memcpy(date, r.dateTimeOriginal, sizeof date);
    std::memcpy(subSecond, r.subSecTimeOriginal, sizeof subSecond);
    const ExifDateTexts textsBefore = dateTexts_ != nullptr ? *dateTexts_ : ExifDateTexts{};
    if (parseExif(payload, length)) {
        exifParsed_ = true;
    } else {
        std::memcpy(r.dateTimeOriginal, date, sizeof date);
        std::memcpy(r.subSecTimeOriginal, subSecond, sizeof subSecond);
        if (dateTexts_ != nullptr) {
            *dateTexts_ = textsBefore;
        }
    }
    r.exifPresent = exifParsed_;
}

bool PictureReader::parseExif(std::uint8_t* payload, std::int32_t segmentLength) {
    ExifParser parser(*record_);
    parser.setDateTexts(dateTexts_);
    const bool parsed = parser.parse(payload, segmentLength);
    if (parser.message() != nullptr) {
        setError(parser.message());
    }
    if (parser.thumbnailFound()) {
        thumbnailBlock_ = payload + 6; // the TIFF block starts after "Exif" and two zero bytes
    }
    return parsed;
}

void PictureReader::takeXmpPacket(const std::uint8_t* payload, std::int32_t length) {
    const std::int32_t payloadSize = length - 2;
    if (xmpPacket_ == nullptr || xmpTaken_ || payloadSize < kXmpSignatureSize ||
        std::memcmp(payload, kXmpSignature, kXmpSignatureSize) != 0) {
        return;
    }
    xmpTaken_ = true;
    const auto size = std::min<std::size_t>(
        static_cast<std::size_t>(payloadSize - kXmpSignatureSize), kMaxXmpBytes);
    xmpPacket_->assign(reinterpret_cast<const char*>(payload + kXmpSignatureSize), size);
}

void PictureReader::takeFrameHeader(const std::uint8_t* b, std::int32_t length, int code) {
    // A frame header too short to hold its fields records only which coding process it names.
    if (length >= 8) {
        record_->pixelHeight = read16BigEndian(b + 3);
        record_->pixelWidth = read16BigEndian(b + 5);
        record_->threeComponents = b[7] == 3 ? 1 : 0;
    }
    record_->frameMarker = code;
}

void PictureReader::takeComment(const std::uint8_t* b, std::int32_t length) {
    constexpr std::int32_t kMaxCommentBytes = 1000;
    const std::int32_t limit = std::min(length, kMaxCommentBytes);
    char* out = record_->comment;
    std::size_t n = 0;
    for (std::int32_t i = 2; i < limit; ++i) {
        const std::uint8_t c = b[i];
        if (c == 0x0D && i + 1 < length && b[i + 1] == 0x0A) {
            continue;
        }
        if (c >= 0x20 || c == 0x0A || c == 0x09) {
            out[n++] = static_cast<char>(c);
        } else {
            out[n++] = '?';
        }
    }
    out[n] = '\0';
}

std::int64_t PictureReader::thumbnailOffset() const {
    if (record_ == nullptr || record_->thumbnailData == nullptr || thumbnailBlock_ == nullptr) {
        return -1;
    }
    return record_->thumbnailData - thumbnailBlock_;
}

} // namespace shotstamp
