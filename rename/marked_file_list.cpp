#include "marked_file_list.h"

#include "platform/files.h"
#include "platform/text.h"

namespace shotstamp {

namespace {

bool isLeadingSeparator(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

// Splits a path at its last separator: the folder keeps the separator, the name is the rest.
template <typename IsSeparator>
void splitPath(std::string_view path, IsSeparator isSeparator, std::string& folder,
               std::string& fileName) {
    std::size_t cut = 0;
    for (std::size_t at = 0; at < path.size(); at += text::characterLength(path, at)) {
        if (isSeparator(path[at])) {
            cut = at + 1;
        }
    }
    folder.assign(path.substr(0, cut));
    fileName.assign(path.substr(cut));
}

} // namespace

MarkedFileList::MarkedFileList(std::string_view commandLineText) : remainingText_(commandLineText) {
    text::lowerInPlace(remainingText_);
    remainingText_.erase(0, skipSeparators(0, quoted_));
}

std::size_t MarkedFileList::skipSeparators(std::size_t at, bool& quoted) const {
    // The separators are single-byte characters, so a lead byte always stops the walk.
    for (; at < remainingText_.size() && isLeadingSeparator(remainingText_[at]); ++at) {
        if (remainingText_[at] == '"') {
            quoted = !quoted;
        }
    }
    return at;
}

bool MarkedFileList::findEntry(Found& found) const {
    const std::string_view text = remainingText_;
    bool quoted = quoted_;
    std::size_t at = 0;
    while (at < text.size()) {
        // A path never holds a quote: the next one ends a quoted path and bounds an unquoted one.
        std::size_t stop = text::findWhole(text, "\"", at);
        stop = stop == std::string_view::npos ? text.size() : stop;
        if (quoted) {
            if (text::endsWithJpg(text.substr(at, stop - at))) {
                found = {at, stop, true};
                return true;
            }
        } else {
            for (std::size_t jpg = text::findWhole(text, ".jpg", at);
                 jpg != std::string_view::npos && jpg + 4 <= stop;
                 jpg = text::findWhole(text, ".jpg", jpg + 1)) {
                if (jpg + 4 == stop || text[jpg + 4] == ' ' || text[jpg + 4] == '\t') {
                    found = {at, jpg + 4, false};
                    return true;
                }
            }
        }
        at = skipSeparators(stop, quoted); // no entry in this path: go on with the next
    }
    return false;
}

void MarkedFileList::split(const Found& found, std::string& folder, std::string& fileName) const {
    splitPath(
        std::string_view(remainingText_).substr(found.begin, found.end - found.begin),
        [](char c) { return c == '\\'; }, folder, fileName);
}

bool MarkedFileList::takeNext(std::string& folder, std::string& fileName) {
    Found found;
    if (remainingText_.size() < 5 || !findEntry(found)) {
        return false;
    }
    split(found, folder, fileName);
    quoted_ = found.quoted;
    remainingText_.erase(0, skipSeparators(found.end, quoted_));
    return true;
}

bool MarkedFileList::firstEntry(std::string& folder, std::string& fileName) {
    Found found;
    if (!findEntry(found)) {
        return false;
    }
    split(found, folder, fileName);
    return true;
}

ArgumentEntryList::ArgumentEntryList(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {}

bool ArgumentEntryList::find(std::size_t from, std::size_t& found) const {
    for (std::size_t i = from; i < arguments_.size(); ++i) {
        if (text::endsWithJpg(arguments_[i])) {
            found = i;
            return true;
        }
    }
    return false;
}

bool ArgumentEntryList::takeNext(std::string& folder, std::string& fileName) {
    std::size_t found = 0;
    if (!find(next_, found)) {
        next_ = arguments_.size();
        return false;
    }
    splitPath(arguments_[found], files::isPathSeparator, folder, fileName);
    next_ = found + 1;
    return true;
}

bool ArgumentEntryList::firstEntry(std::string& folder, std::string& fileName) {
    std::size_t found = 0;
    if (!find(next_, found)) {
        return false;
    }
    splitPath(arguments_[found], files::isPathSeparator, folder, fileName);
    return true;
}

std::unique_ptr<EntryList> makeEntryList(std::string_view commandLineText,
                                         const std::vector<std::string>& arguments) {
    if (files::commandLineIsOneText()) {
        return std::make_unique<MarkedFileList>(commandLineText);
    }
    return std::make_unique<ArgumentEntryList>(arguments);
}

} // namespace shotstamp
