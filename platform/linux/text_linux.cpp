#include "platform/text.h"

// Linux texts are UTF-8: no byte of a multibyte character is ever ASCII, so every byte can be
// searched on its own.
namespace shotstamp::text {

bool isLeadByte(unsigned char) {
    return false;
}

bool codePageIsUtf8() {
    return true;
}

void lowerInPlace(std::string& text) {
    text = lowerAscii(text);
}

} // namespace shotstamp::text
