#pragma once

// The name step as a rename runs it: from a dated file to the path it takes, for every try of
// the counter. The window always gives its prefix, the stamp and ".jpg", and leaves a picture
// where it lies; the command-line tool may take the extension from the content, the name from a
// template and the folder from another.

#include "picture_date.h"
#include "rename_options.h"
#include "scan.h"

#include <string>

namespace shotstamp {

class NewName {
public:
    // Prepares the names of one file. False with the reason in `error` when a template cannot
    // make a name of these facts (a prefix or stem that brings a separator, say).
    bool prepare(const PictureScan& scan, const PictureDate& date, const std::string& prefix,
                 const RenameOptions& options, std::string& error);

    // The full path of the n-th try (1 is the name itself, then "-2", "-3", ...).
    std::string path(int counter) const;
    // The folder the file goes to (ends in a separator, or empty for the current one).
    const std::string& folder() const { return folder_; }
    // True when the file's own path already is a name of this file: the first try or, with
    // `counterLimit` above 1, one of the counter's (a rerun leaves it as it is).
    bool alreadyCarried(const std::string& oldPath, int counterLimit) const;
    // "extension was .jpg, content is HEIC" when the content chose another extension.
    const std::string& extensionNote() const { return extensionNote_; }

private:
    std::string name(int counter) const;

    const RenameOptions* options_ = nullptr;
    std::string folder_;
    std::string prefix_;
    std::string stamp_; // prefix-less stamp for the name without a template
    std::string extension_;
    std::string stem_;
    CaptureTime time_;
    std::string extensionNote_;
};

} // namespace shotstamp
