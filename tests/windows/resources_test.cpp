// Reads the resources of the built Shotstamp.exe and checks them against the template data in
// res/dialog_templates.h, which the GTK window is laid out from: the two must never drift apart.
// The program's path comes in SHOTSTAMP_EXE.

#include "res/dialog_templates.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using shotstamp::ui::ControlTemplate;
using shotstamp::ui::DialogTemplate;

// Little-endian reads that stop at the end of the data instead of running past it.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t offset() const { return offset_; }

    std::uint32_t read(std::size_t width) {
        if (!ok_ || width > size_ - offset_) {
            ok_ = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value |= static_cast<std::uint32_t>(data_[offset_ + i]) << (8 * i);
        }
        offset_ += width;
        return value;
    }
    std::uint16_t word() { return static_cast<std::uint16_t>(read(2)); }
    std::uint32_t dword() { return read(4); }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }

    void alignTo(std::size_t boundary) {
        while (ok_ && offset_ % boundary != 0) {
            read(1);
        }
    }

    // A NUL-terminated UTF-16 text; non-ASCII units become '?', which no expected text holds.
    std::string text() {
        std::string result;
        for (std::uint16_t unit = word(); ok_ && unit != 0; unit = word()) {
            result.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
        return result;
    }

    // A resource name or class: an ordinal (0xFFFF, n), or a text.
    struct NameOrOrdinal {
        std::optional<std::uint16_t> ordinal;
        std::string text;
    };
    NameOrOrdinal nameOrOrdinal() {
        NameOrOrdinal result;
        const std::size_t start = offset_;
        if (word() == 0xFFFF) {
            result.ordinal = word();
            return result;
        }
        offset_ = start;
        result.text = text();
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

std::string programPath() {
    const char* path = std::getenv("SHOTSTAMP_EXE");
    return path != nullptr ? path : "";
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = programPath();
        if (path.empty()) {
            GTEST_SKIP() << "SHOTSTAMP_EXE not set";
        }
        module_ = LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << path;
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    // The bytes of a resource in the program's one language, empty when it is missing.
    std::vector<std::uint8_t> resource(LPCSTR type, int id) const {
        const HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id),
                                            static_cast<WORD>(shotstamp::res::kLanguageId));
        if (found == nullptr) {
            return {};
        }
        const HGLOBAL loaded = LoadResource(module_, found);
        const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
        return bytes != nullptr
                   ? std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module_, found))
                   : std::vector<std::uint8_t>{};
    }

    HMODULE module_ = nullptr;
};

struct ParsedControl {
    std::uint32_t helpId, exStyle, style;
    int x, y, width, height;
    std::int32_t id;
    Reader::NameOrOrdinal windowClass, title;
    std::uint16_t extraBytes;
};

void expectControl(Reader& in, const ControlTemplate& expected) {
    in.alignTo(4);
    ParsedControl c{};
    c.helpId = in.dword();
    c.exStyle = in.dword();
    c.style = in.dword();
    c.x = in.shortValue();
    c.y = in.shortValue();
    c.width = in.shortValue();
    c.height = in.shortValue();
    c.id = static_cast<std::int32_t>(in.dword());
    c.windowClass = in.nameOrOrdinal();
    c.title = in.nameOrOrdinal();
    c.extraBytes = in.word();
    ASSERT_TRUE(in.ok()) << "control " << expected.id << " runs past the template";

    EXPECT_EQ(c.id, expected.id);
    EXPECT_EQ(c.helpId, 0u);
    EXPECT_EQ(c.exStyle, expected.exStyle);
    EXPECT_EQ(c.style, expected.style) << "control " << expected.id;
    EXPECT_EQ(c.x, expected.rect.x);
    EXPECT_EQ(c.y, expected.rect.y);
    EXPECT_EQ(c.width, expected.rect.width);
    EXPECT_EQ(c.height, expected.rect.height);
    EXPECT_EQ(c.windowClass.ordinal, static_cast<std::uint16_t>(expected.controlClass))
        << "control " << expected.id << " class given by name '" << c.windowClass.text << "'";
    if (expected.iconId != 0) {
        EXPECT_EQ(c.title.ordinal, expected.iconId);
    } else {
        EXPECT_FALSE(c.title.ordinal.has_value());
        EXPECT_EQ(c.title.text, expected.text);
    }
    EXPECT_EQ(c.extraBytes, 0u);
}

class DialogResource : public ProgramResources,
                       public ::testing::WithParamInterface<const DialogTemplate*> {};

TEST_P(DialogResource, MatchesTheTemplateData) {
    const DialogTemplate& expected = *GetParam();
    const std::vector<std::uint8_t> bytes =
        resource(reinterpret_cast<LPCSTR>(RT_DIALOG), expected.id);
    ASSERT_FALSE(bytes.empty()) << "dialog " << expected.id << " in language 0x0407";

    Reader in(bytes.data(), bytes.size());
    EXPECT_EQ(in.word(), 1u) << "extended template version";
    EXPECT_EQ(in.word(), 0xFFFFu) << "extended template signature";
    EXPECT_EQ(in.dword(), 0u) << "help id";
    EXPECT_EQ(in.dword(), expected.exStyle);
    EXPECT_EQ(in.dword(), expected.style);
    const std::uint16_t count = in.word();
    EXPECT_EQ(in.shortValue(), expected.rect.x);
    EXPECT_EQ(in.shortValue(), expected.rect.y);
    EXPECT_EQ(in.shortValue(), expected.rect.width);
    EXPECT_EQ(in.shortValue(), expected.rect.height);
    const Reader::NameOrOrdinal menu = in.nameOrOrdinal();
    EXPECT_TRUE(!menu.ordinal && menu.text.empty()) << "no menu";
    const Reader::NameOrOrdinal windowClass = in.nameOrOrdinal();
    EXPECT_TRUE(!windowClass.ordinal && windowClass.text.empty()) << "standard dialog class";
    EXPECT_EQ(in.text(), expected.caption);
    EXPECT_EQ(in.word(), expected.font.pointSize);
    EXPECT_EQ(in.word(), expected.font.weight);
    EXPECT_EQ(in.read(1), expected.font.italic ? 1u : 0u);
    EXPECT_EQ(in.read(1), static_cast<std::uint32_t>(expected.font.charset));
    EXPECT_EQ(in.text(), expected.font.face);
    ASSERT_TRUE(in.ok());

    ASSERT_EQ(count, expected.controls.size());
    for (const ControlTemplate& control : expected.controls) {
        expectControl(in, control);
    }
    EXPECT_EQ(in.offset(), bytes.size()) << "bytes after the last control";
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogResource,
                         ::testing::Values(&shotstamp::res::kMainDialog,
                                           &shotstamp::res::kAboutDialog),
                         [](const auto& param) { return std::to_string(param.param->id); });

TEST_F(ProgramResources, IconGroupHoldsTwoSixteenColourImages) {
    const std::vector<std::uint8_t> group =
        resource(reinterpret_cast<LPCSTR>(RT_GROUP_ICON), shotstamp::res::kAppIconId);
    ASSERT_FALSE(group.empty());
    Reader in(group.data(), group.size());
    EXPECT_EQ(in.word(), 0u);
    EXPECT_EQ(in.word(), 1u) << "icon, not cursor";
    ASSERT_EQ(in.word(), shotstamp::res::kAppIconImages.size());
    for (const auto& image : shotstamp::res::kAppIconImages) {
        EXPECT_EQ(in.read(1), static_cast<std::uint32_t>(image.size)) << "width";
        EXPECT_EQ(in.read(1), static_cast<std::uint32_t>(image.size)) << "height";
        EXPECT_EQ(in.read(1), 16u) << "colours";
        in.read(1);
        EXPECT_EQ(in.word(), 1u) << "planes";
        EXPECT_EQ(in.word(), static_cast<std::uint32_t>(image.bitsPerPixel));
        const std::uint32_t bytes = in.dword();
        EXPECT_EQ(in.word(), static_cast<std::uint32_t>(image.resourceId));
        ASSERT_TRUE(in.ok());

        // The image itself: a 4-bit bitmap of that size (height doubled for the mask).
        const std::vector<std::uint8_t> bitmap =
            resource(reinterpret_cast<LPCSTR>(RT_ICON), image.resourceId);
        ASSERT_EQ(bitmap.size(), bytes) << "image " << image.resourceId;
        BITMAPINFOHEADER header{};
        ASSERT_GE(bitmap.size(), sizeof header);
        std::memcpy(&header, bitmap.data(), sizeof header);
        EXPECT_EQ(header.biWidth, image.size);
        EXPECT_EQ(header.biHeight, 2 * image.size);
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, image.bitsPerPixel);
    }
}

TEST_F(ProgramResources, OnlyIconsDialogsAndTheVersionBlock) {
    std::set<ULONG_PTR> types;
    EnumResourceTypesA(
        module_,
        [](HMODULE, LPSTR type, LONG_PTR seen) -> BOOL {
            reinterpret_cast<std::set<ULONG_PTR>*>(seen)->insert(reinterpret_cast<ULONG_PTR>(type));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&types));
    const std::set<ULONG_PTR> expected{
        reinterpret_cast<ULONG_PTR>(RT_ICON), reinterpret_cast<ULONG_PTR>(RT_DIALOG),
        reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON), reinterpret_cast<ULONG_PTR>(RT_VERSION),
        reinterpret_cast<ULONG_PTR>(RT_MANIFEST)};
    EXPECT_EQ(types, expected) << "no string table, menu or accelerators";
}

TEST_F(ProgramResources, ManifestMakesTheProgramDpiAwareAndNamesItsWindowsVersions) {
    const HRSRC found = FindResourceExA(module_, reinterpret_cast<LPCSTR>(RT_MANIFEST),
                                        MAKEINTRESOURCEA(1), MAKELANGID(LANG_NEUTRAL, 0));
    ASSERT_NE(found, nullptr) << "manifest 1, language neutral";
    std::string text(static_cast<const char*>(LockResource(LoadResource(module_, found))),
                     SizeofResource(module_, found));
    std::erase(text, ' ');
    for (const char* wanted :
         {">true</dpiAware>", ">PerMonitorV2,system</dpiAwareness>", // Vista, 7, 8, 8.1, 10
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "level=\"asInvoker\""}) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
    }
    // Version 6 of the common controls would restyle every control.
    EXPECT_EQ(text.find("Common-Controls"), std::string::npos);
}

std::string versionString(const std::vector<char>& block, const std::string& key) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040704b0\\" + key;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr) {
        return "<missing>";
    }
    return std::string(value, length > 0 ? std::strlen(value) : 0);
}

TEST_F(ProgramResources, VersionBlock) {
    ASSERT_FALSE(resource(reinterpret_cast<LPCSTR>(RT_VERSION), shotstamp::res::kVersionId).empty())
        << "version block in language 0x0407";
    const std::string path = programPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x4u);
    EXPECT_EQ(fixed->dwFileType, 1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], shotstamp::res::kLanguageId);
    EXPECT_EQ(translation[1], shotstamp::res::kVersionCodePage);

    for (const auto& entry : shotstamp::res::kVersionStrings) {
        EXPECT_EQ(versionString(block, std::string(entry.key)), entry.value) << entry.key;
    }
}

} // namespace
