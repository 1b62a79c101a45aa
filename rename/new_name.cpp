#include "new_name.h"

#include "metadata/containers/container.h"
#include "naming/name_template.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>

namespace shotstamp {

namespace {

// "2005-12-30 205732", or "2005-12-30" for a day-only moment.
std::string stampOf(const CaptureTime& t) {
    char buffer[32];
    if (t.hasTime) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d%02d%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
    }
    return buffer;
}

naming::NameFields fieldsOf(const CaptureTime& t) {
    naming::NameFields fields;
    fields.year = t.year;
    fields.month = t.month;
    fields.day = t.day;
    fields.hour = t.hour;
    fields.minute = t.minute;
    fields.second = t.second;
    fields.subseconds = t.subseconds;
    fields.hasOffset = t.hasOffset;
    fields.offsetMinutes = t.offsetMinutes;
    fields.dayOnly = !t.hasTime;
    return fields;
}

std::string stemOf(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// The extension the new name takes: ".jpg" for a JPEG as always; for another kind the file's
// own extension in lower case while it is one of that kind's (".hif" stays ".hif"), else the
// content's own, with a note that the old extension said otherwise.
std::string extensionFor(const PictureScan& scan, bool byContent, std::string& note) {
    if (!byContent) {
        return ".jpg";
    }
    const bool jpeg = scan.startsLikeJpeg;
    const ContainerKind kind = jpeg ? ContainerKind::jpeg : scan.found.content.kind;
    const std::size_t dot = scan.fileName.rfind('.');
    const std::string own =
        dot == std::string::npos ? std::string() : text::lowerAscii(scan.fileName.substr(dot));
    if (containerOfExtension(scan.fileName) == kind) {
        return jpeg ? ".jpg" : own;
    }
    note = "extension was " + (own.empty() ? std::string("none") : own) + ", content is " +
           (jpeg ? "JPEG" : scan.found.content.name);
    return jpeg ? ".jpg" : contentExtension(scan.found.content, scan.fileName);
}

} // namespace

bool NewName::prepare(const PictureScan& scan, const PictureDate& date, const std::string& prefix,
                      const RenameOptions& options, std::string& error) {
    options_ = &options;
    prefix_ = prefix;
    time_ = date.time;
    stem_ = stemOf(scan.fileName);
    extension_ = extensionFor(scan, options.dating != nullptr, extensionNote_);
    stamp_ = !date.stamp.empty() ? date.stamp : stampOf(date.time);
    if (options.subseconds && date.time.hasTime && !date.time.subseconds.empty()) {
        stamp_ += '.';
        stamp_ += date.time.subseconds;
    }
    folder_ = scan.folder;
    if (options.into != nullptr) {
        naming::NameFields fields = fieldsOf(time_);
        fields.stem = stem_;
        fields.prefix = prefix_;
        std::string rendered;
        const naming::Rendered made = options.into->render(fields, rendered);
        if (!made.ok) {
            error = made.error;
            return false;
        }
        const std::string base = options.into->isAbsolute() ? std::string()
                                 : options.roots != nullptr ? options.roots->rootOf(scan.folder)
                                                            : scan.folder;
        if (files::kPreferredSeparator != '/') {
            // Either separator may be written; the report shows the one the system writes.
            std::replace(rendered.begin(), rendered.end(), '/', files::kPreferredSeparator);
        }
        folder_ = base + rendered;
        if (!folder_.empty() && !files::isPathSeparator(folder_.back())) {
            folder_ += files::isPathSeparator('\\') ? '\\' : '/';
        }
    }
    if (options.format != nullptr) {
        std::string first;
        naming::NameFields fields = fieldsOf(time_);
        fields.stem = stem_;
        fields.prefix = prefix_;
        fields.extension = extension_;
        const naming::Rendered made = options.format->render(fields, first);
        if (!made.ok) {
            error = made.error;
            return false;
        }
    }
    return true;
}

std::string NewName::name(int counter) const {
    if (options_->format == nullptr) {
        std::string out = prefix_ + stamp_;
        if (counter > 1) {
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "-" + std::string.
            out += '-';
            out += std::to_string(counter);
        }
        out += extension_;
        return out;
    }
    naming::NameFields fields = fieldsOf(time_);
    fields.stem = stem_;
    fields.prefix = prefix_;
    fields.extension = extension_;
    fields.counter = counter;
    std::string out;
    options_->format->render(fields, out);
    return out;
}

std::string NewName::path(int counter) const {
    return folder_ + name(counter);
}

bool NewName::alreadyCarried(const std::string& oldPath, int counterLimit) const {
    const std::string first = path(1);
    if (oldPath == first) {
        return true;
    }
    if (counterLimit < 2) {
        return false;
    }
    // The counter's names are first = A + B and A + "-N" + B: find A and B from the second try.
    const std::string second = path(2);
    std::size_t common = 0;
    while (common < first.size() && first[common] == second[common]) {
        ++common;
    }
    const std::string_view before(first.data(), common);
    const std::string_view after(first.data() + common, first.size() - common);
    const bool secondFits = second.size() == before.size() + 2 + after.size() &&
                            second.compare(before.size(), 2, "-2") == 0 &&
                            std::string_view(second).ends_with(after);
    if (!secondFits || !std::string_view(oldPath).starts_with(before) ||
        oldPath.size() < before.size() + 2 + after.size() || oldPath[before.size()] != '-' ||
        !std::string_view(oldPath).ends_with(after)) {
        return false;
    }
    const std::string_view digits(oldPath.data() + before.size() + 1,
                                  oldPath.size() - before.size() - 1 - after.size());
    if (digits.empty() || digits.size() > 5 || digits[0] == '0') {
        return false;
    }
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + (c - '0');
    }
    return n >= 2 && n <= counterLimit;
}

} // namespace shotstamp
