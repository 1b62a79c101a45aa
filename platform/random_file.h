#pragma once

// A file opened for reading (files::openForReading) read at offsets: pread on POSIX, ReadFile
// with an offset on Windows. It lives in the platform layer because it needs the system's calls;
// it implements the core's abstract RandomAccessSource, so platform depends on that one header of
// metadata/ while metadata itself stays free of any platform code.

#include "metadata/random_access_source.h"

#include <cstdint>
#include <cstdio>

namespace shotstamp::files {

class FileRandomSource final : public RandomAccessSource {
public:
    // The stream stays the caller's and must outlive the source; its position is not used.
    explicit FileRandomSource(std::FILE* file);
    // For a file whose size the open already told (FileIdentity::size): no query of its own.
    FileRandomSource(std::FILE* file, std::uint64_t size)
        : file_(file), size_(size), failed_(file == nullptr) {}
    std::uint64_t size() const override { return size_; }
    // True once a read failed for another reason than the end of the file.
    bool failed() const { return failed_; }

protected:
    std::size_t readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

private:
    std::FILE* file_;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

} // namespace shotstamp::files
