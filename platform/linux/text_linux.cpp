#include "platform/text.h"

// Linux texts are UTF-8: no byte of a multibyte character is ever ASCII, so every byte can be
// searched on its own.
namespace shotstamp::text {

bool isLeadByte(unsigned char) {
    return false;
}

void lowerInPlace(std::string& text) {
    for (char& ch : text) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
}

} // namespace shotstamp::text
