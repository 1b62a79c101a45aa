#include "reader_messages.h"

#include "metadata/picture_reader.h"

#include <cstdio>

namespace shotstamp::cli {

namespace {

std::string_view fileBeingRead;

void writeToStandardError(std::string_view line) {
    if (fileBeingRead.empty()) {
        std::fprintf(stderr, "shotstamp-cli: %.*s\n", static_cast<int>(line.size()), line.data());
    } else {
        std::fprintf(stderr, "shotstamp-cli: %.*s: %.*s\n", static_cast<int>(fileBeingRead.size()),
                     fileBeingRead.data(), static_cast<int>(line.size()), line.data());
    }
}

} // namespace

void sendReaderMessagesToStandardError() {
    setReaderMessageSink(&writeToStandardError);
}

void nameFileBeingRead(std::string_view file) {
    fileBeingRead = file;
}

} // namespace shotstamp::cli
