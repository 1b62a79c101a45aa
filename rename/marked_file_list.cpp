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
    removeLeadingSeparators();
}

void MarkedFileList::removeLeadingSeparators() {
    // The separators are single-byte characters, so a lead byte always stops the walk.
    std::size_t at = 0;
    while (at < remainingText_.size() && isLeadingSeparator(remainingText_[at])) {
        ++at;
    }
    remainingText_.erase(0, at);
}

std::size_t MarkedFileList::findEntry() const {
    const std::string_view text = remainingText_;
    // Each search covers the whole text; a later one runs only when the earlier found nothing.
    std::size_t at = text::findWhole(text, ".jpg ");
    if (at == std::string_view::npos) {
        at = text::findWhole(text, ".jpg\"");
    }
    if (at == std::string_view::npos) {
        at = text::findWhole(text, ".jpg");
        if (at == std::string_view::npos || at + 4 != text.size()) {
            return 0;
        }
    }
    return at + 4;
}

void MarkedFileList::split(std::size_t length, std::string& folder, std::string& fileName) const {
    splitPath(
        std::string_view(remainingText_).substr(0, length), [](char c) { return c == '\\'; },
        folder, fileName);
}

bool MarkedFileList::takeNext(std::string& folder, std::string& fileName) {
    if (remainingText_.size() < 5) {
        return false;
    }
    const std::size_t length = findEntry();
    if (length == 0) {
        return false;
    }
    split(length, folder, fileName);
    remainingText_.erase(0, length);
    removeLeadingSeparators();
    return true;
}

bool MarkedFileList::firstEntry(std::string& folder, std::string& fileName) {
    const std::size_t length = findEntry();
    if (length == 0) {
        return false;
    }
    split(length, folder, fileName);
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
