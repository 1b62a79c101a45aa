#pragma once

// Access to the camera corpus that lives outside the repository (SHOTSTAMP_CORPUS_DIR).

#include "jpeg_builder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace shotstamp::testing {

// The corpus's picture folder; empty when it does not exist on this machine.
std::filesystem::path corpusFolder();

// Why a test that needs the corpus skips: where it looked.
std::string corpusMissing();

// Every .jpg and .jpeg file under the corpus folder, sorted.
std::vector<std::filesystem::path> corpusPictures();

// A corpus file's bytes, by path relative to the picture folder; empty when missing.
Bytes readCorpusFile(const std::string& relativePath);

// The position of the first segment with `code` (its 0xFF byte), walking the segments from the
// start of image; std::string::npos when there is none.
std::size_t findSegment(const Bytes& file, std::uint8_t code);

} // namespace shotstamp::testing
