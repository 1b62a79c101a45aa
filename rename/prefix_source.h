#pragma once

#include <string>
#include <utility>

namespace shotstamp {

// Where the name prefix comes from: the window's prefix field, read afresh for every picture.
class PrefixSource {
public:
    virtual ~PrefixSource() = default;
    virtual std::string currentPrefix() = 0;
};

// A prefix that never changes (the command-line tool, tests).
class FixedPrefix final : public PrefixSource {
public:
    explicit FixedPrefix(std::string text) : text_(std::move(text)) {}
    std::string currentPrefix() override { return text_; }

private:
    std::string text_;
};

} // namespace shotstamp
