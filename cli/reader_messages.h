#pragma once

#include <string_view>

namespace shotstamp::cli {

// Routes the picture reader's console lines to standard error, so that standard output carries
// only a command's report. Each line reads "shotstamp-cli: LINE", or "shotstamp-cli: FILE: LINE"
// while a file is named below.
void sendReaderMessagesToStandardError();

// Names the file whose reading the next lines belong to; empty for none. The text must stay
// alive while it is named.
void nameFileBeingRead(std::string_view file);

} // namespace shotstamp::cli
