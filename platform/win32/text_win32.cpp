#include "platform/text.h"

#include <windows.h>

namespace shotstamp::text {

bool isLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

bool codePageIsUtf8() {
    return GetACP() == CP_UTF8;
}

void lowerInPlace(std::string& text) {
    // CharLowerBuffA follows the ANSI code page and leaves double-byte characters whole.
    if (!text.empty()) {
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    }
}

} // namespace shotstamp::text
