#pragma once

// One scanned file through the date, name and move steps.

#include "file_system.h"
#include "prefix_source.h"
#include "rename_options.h"
#include "rename_outcome.h"
#include "scan.h"

#include <string>

namespace shotstamp {

// Decides on a scanned picture and renames it, reading the prefix only now.
RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
                            const RenameOptions& options = {});

} // namespace shotstamp
