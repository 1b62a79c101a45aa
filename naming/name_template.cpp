#include "name_template.h"

#include <initializer_list>

namespace shotstamp::naming {

namespace {

void appendNumber(std::string& out, long value, int width) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long rest =
        negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0 && count < 20);
    if (negative) {
        out += '-';
    }
    for (int pad = count; pad < width; ++pad) {
        out += '0';
    }
    while (count > 0) {
        out += digits[--count];
    }
}

// Builds a message with one append per part.
std::string join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) {
        out += part;
    }
    return out;
}

std::string quoted(std::string_view text) {
    return join({"\"", text, "\""});
}

} // namespace

bool NameTemplate::isSeparator(char c) const {
    return c == '/' || (c == '\\' && rules_.backslashSeparates);
}

bool NameTemplate::compile(std::string_view text, TemplateUse use, const PathRules& rules,
                           std::string& error) {
    *this = NameTemplate();
    use_ = use;
    rules_ = rules;
    const char* what = use == TemplateUse::fileName ? "the name template" : "the folder template";
    if (text.empty()) {
        error = join({what, " is empty"});
        return false;
    }

    // An absolute folder keeps its root as written; only what follows is checked and rendered.
    if (use == TemplateUse::folder) {
        std::size_t root = 0;
        if (rules.driveLetters && text.size() >= 2 && text[1] == ':' &&
            ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
            if (text.size() < 3 || !isSeparator(text[2])) {
                error = join({"the folder template ", quoted(text),
                              " names a drive without a folder on it; write ", text.substr(0, 2),
                              "\\ for its top folder"});
                return false;
            }
            root = 3;
        } else if (rules.driveLetters && text.size() >= 2 && isSeparator(text[0]) &&
                   isSeparator(text[1])) {
            // A network share: two separators, the server, a separator, the share.
            std::size_t at = 2;
            for (int part = 0; part < 2; ++part) {
                const std::size_t begin = at;
                while (at < text.size() && !isSeparator(text[at]) && text[at] != '%') {
                    ++at;
                }
                if (at == begin || (at < text.size() && text[at] == '%')) {
                    error = join({"the folder template ", quoted(text),
                                  " starts a network path without a plain server and share name"});
                    return false;
                }
                if (at < text.size()) {
                    ++at;
                }
            }
            root = at;
        } else if (isSeparator(text[0])) {
            root = 1;
        }
        absolute_ = root > 0;
        rootSize_ = root;
        // "%Y/%m/" means "%Y/%m".
        if (text.size() > root && isSeparator(text.back())) {
            text.remove_suffix(1);
        }
    }

    bool hasDate = false;
    bool hasCounter = false;
    std::size_t componentStart = rootSize_; // where the folder name being read began
    auto closeComponent = [&](std::size_t end) {
        const std::string_view component = text.substr(componentStart, end - componentStart);
        if (component.empty()) {
            error = join({"the folder template ", quoted(text),
                          " holds an empty folder name (two separators in a row)"});
            return false;
        }
        if (component == "." || component == "..") {
            error = join({"the folder template ", quoted(text), " holds a folder called ",
                          quoted(component), "; write the folders by name"});
            return false;
        }
        return true;
    };
    auto addLiteral = [&](char c) {
        if (steps_.empty() || steps_.back().op != Op::literal) {
            steps_.push_back({Op::literal, static_cast<std::uint32_t>(text_.size()), 0});
        }
        text_ += c;
        ++steps_.back().size;
    };

    text_.assign(text.substr(0, rootSize_));
    if (rootSize_ > 0) {
        steps_.push_back({Op::literal, 0, static_cast<std::uint32_t>(rootSize_)});
    }
    for (std::size_t at = rootSize_; at < text.size(); ++at) {
        const char c = text[at];
        if (c != '%') {
            if (isSeparator(c)) {
                if (use == TemplateUse::fileName) {
                    error = join({"the name template ", quoted(text), " holds the separator \"",
                                  std::string_view(&c, 1),
                                  "\": it names the file only; folders are chosen with --into"});
                    return false;
                }
                if (!closeComponent(at)) {
                    return false;
                }
                componentStart = at + 1;
            } else if (c == '\0' || (rules.nameByteAllowed != nullptr &&
                                     !rules.nameByteAllowed(static_cast<unsigned char>(c)))) {
                error =
                    join({what, " ", quoted(text), " holds the character \"",
                          std::string_view(&c, 1), "\", which cannot stand in a file name here"});
                return false;
            }
            addLiteral(c);
            continue;
        }
        if (at + 1 == text.size()) {
            error = join(
                {what, " ", quoted(text), " ends in a lone \"%\"; write %% for a percent sign"});
            return false;
        }
        const char field = text[++at];
        Op op = Op::literal;
        switch (field) {
        case '%':
            addLiteral('%');
            continue;
        case 'Y':
            op = Op::year;
            break;
        case 'm':
            op = Op::month;
            break;
        case 'd':
            op = Op::day;
            break;
        case 'H':
            op = Op::hour;
            break;
        case 'M':
            op = Op::minute;
            break;
        case 'S':
            op = Op::second;
            break;
        case 'f':
            op = Op::subseconds;
            break;
        case 'z':
            op = Op::offset;
            break;
        case 'n':
            op = Op::stem;
            break;
        case 'e':
            op = Op::extension;
            break;
        case 'c':
            op = Op::counter;
            break;
        case 'p':
            op = Op::prefix;
            break;
        default:
            error = join(
                {what, " ", quoted(text), " holds the unknown field \"%",
                 std::string_view(&field, 1),
                 "\" (known: %Y %m %d %H %M %S %f %z %n %e %c %p, and %% for a percent sign)"});
            return false;
        }
        if (use == TemplateUse::folder && (op == Op::counter || op == Op::extension)) {
            error = join({"the folder template ", quoted(text), " holds \"%",
                          std::string_view(&field, 1),
                          "\", which belongs to the file name (--format)"});
            return false;
        }
        hasDate = hasDate || (op >= Op::year && op <= Op::second);
        usesTime_ = usesTime_ || (op >= Op::hour && op <= Op::dottedSubseconds);
        hasCounter = hasCounter || op == Op::counter;
        if (op == Op::subseconds && !steps_.empty() && steps_.back().op == Op::literal &&
            steps_.back().size > 0 && text_[steps_.back().start + steps_.back().size - 1] == '.' &&
            steps_.back().start + steps_.back().size > rootSize_) {
            // The dot before the digits is theirs: it goes when they are missing.
            op = Op::dottedSubseconds;
            if (--steps_.back().size == 0) {
                steps_.pop_back();
            }
        }
        steps_.push_back({op, 0, 0});
    }

    if (use == TemplateUse::folder) {
        return closeComponent(text.size());
    }
    if (!hasDate) {
        error = join({"the name template ", quoted(text),
                      " has no date field: it needs at least one of %Y %m %d %H %M %S"});
        return false;
    }
    if (!hasCounter) {
        // Where the counter has always gone: between the name and its extension.
        std::size_t place = steps_.size();
        for (std::size_t i = steps_.size(); i-- > 0;) {
            if (steps_[i].op == Op::extension) {
                place = i;
                break;
            }
        }
        steps_.insert(steps_.begin() + static_cast<std::ptrdiff_t>(place), Step{Op::counter, 0, 0});
    }
    return true;
}

bool NameTemplate::checkRendered(std::string_view out, Rendered& result) const {
    if (use_ == TemplateUse::fileName) {
        if (out.empty() || out == "." || out == "..") {
            result.error = join({"the name template gives the name \"", out, "\" for this file",
                                 (result.timeLeftOut ? " (its date has no time of day)" : "")});
            return false;
        }
        return true;
    }
    std::size_t start = rootSize_;
    for (std::size_t at = rootSize_; at <= out.size(); ++at) {
        if (at < out.size() && !isSeparator(out[at])) {
            continue;
        }
        const std::string_view component = out.substr(start, at - start);
        if (component.empty() || component == "." || component == "..") {
            result.error = join({"the folder template gives the folder \"", out,
                                 "\" for this file, with an empty or dot folder name",
                                 (result.timeLeftOut ? " (its date has no time of day)" : "")});
            return false;
        }
        start = at + 1;
    }
    return true;
}

Rendered NameTemplate::render(const NameFields& fields, std::string& out) const {
    Rendered result;
    result.timeLeftOut = fields.dayOnly && usesTime_;
    out.clear();
    const bool time = !fields.dayOnly;
    for (const Step& step : steps_) {
        switch (step.op) {
        case Op::literal:
            out.append(text_, step.start, step.size);
            break;
        case Op::year:
            appendNumber(out, fields.year, 4);
            break;
        case Op::month:
            appendNumber(out, fields.month, 2);
            break;
        case Op::day:
            appendNumber(out, fields.day, 2);
            break;
        case Op::hour:
            if (time) {
                appendNumber(out, fields.hour, 2);
            }
            break;
        case Op::minute:
            if (time) {
                appendNumber(out, fields.minute, 2);
            }
            break;
        case Op::second:
            if (time) {
                appendNumber(out, fields.second, 2);
            }
            break;
        case Op::dottedSubseconds:
            if (time && !fields.subseconds.empty()) {
                out += '.';
            }
            [[fallthrough]];
        case Op::subseconds:
            if (time) {
                out += fields.subseconds;
            }
            break;
        case Op::offset:
            if (fields.hasOffset) {
                const int minutes =
                    fields.offsetMinutes < 0 ? -fields.offsetMinutes : fields.offsetMinutes;
                out += fields.offsetMinutes < 0 ? '-' : '+';
                appendNumber(out, minutes / 60, 2);
                appendNumber(out, minutes % 60, 2);
            }
            break;
        case Op::stem:
        case Op::prefix: {
            const std::string_view value = step.op == Op::stem ? fields.stem : fields.prefix;
            for (const char c : value) {
                if (isSeparator(c) || c == '\0') {
                    result.error =
                        join({step.op == Op::stem ? "the original name" : "the prefix", " \"",
                              value, "\" holds a separator and cannot be part of a name"});
                    return result;
                }
            }
            out += value;
            break;
        }
        case Op::extension:
            out += fields.extension;
            break;
        case Op::counter:
            if (fields.counter > 1) {
                out += '-';
                appendNumber(out, fields.counter, 0);
            }
            break;
        }
    }
    result.ok = checkRendered(out, result);
    return result;
}

} // namespace shotstamp::naming
