#include "platform/console.h"

namespace shotstamp::console {

// A terminal on Linux shows the bytes in the locale's character set, which is the program's.
ProgramCodePage::ProgramCodePage() = default;

ProgramCodePage::~ProgramCodePage() = default;

} // namespace shotstamp::console
