#pragma once

namespace shotstamp::cli {

// `rename [--prefix TEXT] [--all-in-path] [--dry-run] [--] FILE...`: renames JPEG pictures after
// their EXIF DateTimeOriginal through the same commands the window runs. Prints one line per file
// handled and a count. Exit status 0 when it ran, 1 when a file could not be read or renamed for a
// system error, 2 for a usage error.
int runRename(int argc, char** argv);

} // namespace shotstamp::cli
