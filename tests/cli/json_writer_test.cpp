#include "json_writer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace shotstamp::cli {
namespace {

std::string asJson(std::string_view bytes) {
    std::string out;
    appendJsonString(out, bytes);
    return out;
}

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsValidUtf8) {
    struct Case {
        const char* name;
        std::string_view in;
        const char* out;
    };
    const Case cases[] = {
        {"plain", "Canon EOS 40D", "\"Canon EOS 40D\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line breaks and tab", "\n\r\t", "\"\\n\\r\\t\""},
        {"other control bytes", std::string_view("\x00\x01\x1f\x7f", 4),
         "\"\\u0000\\u0001\\u001f\\u007f\""},
        {"two-byte character", "\xc3\xa9", "\"\xc3\xa9\""},
        {"three-byte character", "\xe2\x82\xac", "\"\xe2\x82\xac\""},
        {"four-byte character", "\xf0\x9f\x93\xb7", "\"\xf0\x9f\x93\xb7\""},
        {"lone continuation byte", "a\x80z", "\"a\\u0080z\""},
        {"Latin-1 letter", "caf\xe9", "\"caf\\u00e9\""},
        {"overlong slash", "\xc0\xaf", "\"\\u00c0\\u00af\""},
        {"overlong three-byte", "\xe0\x80\xaf", "\"\\u00e0\\u0080\\u00af\""},
        {"surrogate", "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
        {"byte F5", "\xf5", "\"\\u00f5\""},
        {"cut at the end", "x\xe2\x82", "\"x\\u00e2\\u0082\""},
        {"cut before ASCII", "\xe2\x82!", "\"\\u00e2\\u0082!\""},
        {"0xFF", "\xff", "\"\\u00ff\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(asJson(c.in), c.out);
    }
}

TEST(JsonString, EveryByteYieldsOnlyPrintableAsciiOrValidSequences) {
    for (int b = 0; b < 256; ++b) {
        const std::string in(1, static_cast<char>(b));
        const std::string out = asJson(in);
        for (const char c : out) {
            const auto u = static_cast<unsigned char>(c);
            // A single byte is never a whole multi-byte character, so nothing above 0x7E stays.
            EXPECT_TRUE(u >= 0x20 && u < 0x7F) << b;
        }
    }
}

TEST(JsonWriter, PutsCommasBetweenItemsOnly) {
    JsonWriter json;
    json.beginObject();
    json.key("a");
    json.integer(-5);
    json.key("b");
    json.beginArray();
    json.beginObject();
    json.key("marker");
    json.integer(225);
    json.endObject();
    json.beginObject();
    json.endObject();
    json.endArray();
    json.key("c");
    json.null();
    json.key("d");
    json.boolean(false);
    json.key("e");
    json.beginArray();
    json.endArray();
    json.endObject();
    EXPECT_EQ(json.text(), R"({"a":-5,"b":[{"marker":225},{}],"c":null,"d":false,"e":[]})");
}

TEST(JsonWriter, FloatsReadBackExactlyAndNonFiniteIsNull) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.0F, "0"},
        {72.0F, "72"},
        {0.1F, "0.1"},
        {1.0F / 3, "0.33333334"},
        {0.00625F, "0.00625"},
        {-0.75F, "-0.75"},
        {1e-7F, "1e-07"},
        {3.4e38F, "3.4e+38"},
        {std::numeric_limits<float>::infinity(), "null"},
        {-std::numeric_limits<float>::infinity(), "null"},
        {std::numeric_limits<float>::quiet_NaN(), "null"},
    };
    for (const Case& c : cases) {
        JsonWriter json;
        json.number(c.value);
        EXPECT_EQ(json.text(), c.text);
        if (std::isfinite(c.value)) {
            EXPECT_EQ(std::strtof(json.text().c_str(), nullptr), c.value);
        }
    }
}

} // namespace
} // namespace shotstamp::cli
