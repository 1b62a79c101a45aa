#pragma once

// The program's resources as data: the one source of truth for the two dialog templates, their
// ids and texts, the icon group and the version block. The GTK window is laid out from it; the
// Windows .rc must say the same (a test compares them).

#include "platform/dialog_template.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace shotstamp::res {

// Resource ids.
inline constexpr int kAboutDialogId = 100;
inline constexpr int kMainDialogId = 102;
inline constexpr int kAboutMenuStringId = 101; // the About entry's text; there is no string table
inline constexpr int kAppIconId = 128;
inline constexpr int kIconImage32Id = 1; // the group's 32 x 32 image
inline constexpr int kIconImage16Id = 2; // the group's 16 x 16 image
inline constexpr int kVersionId = 1;
inline constexpr int kLanguageId = 0x0407;

// Controls of the main window.
inline constexpr std::int32_t kPrefixFieldId = 1000;
inline constexpr std::int32_t kAllInPathId = 1002;

inline constexpr std::string_view kMakerNotice = "(C) 2026 The Shotstamp authors";

namespace detail {
using ui::ControlClass;
using ui::ControlTemplate;

inline constexpr std::array<ControlTemplate, 5> kMainControls{{
    {kPrefixFieldId, ControlClass::edit, "", 0, 0x50810080, 0, {3, 2, 206, 13}},
    {2, ControlClass::button, "Just marked", 0, 0x50010001, 0, {106, 16, 68, 14}},
    {kAllInPathId, ControlClass::button, "All in Path", 0, 0x50010000, 0, {38, 16, 68, 14}},
    {1, ControlClass::button, "Exit", 0, 0x50010000, 0, {174, 16, 36, 14}},
    {9, ControlClass::button, "Help", 0, 0x50010000, 0, {2, 16, 36, 14}},
}};

inline constexpr std::array<ControlTemplate, 4> kAboutControls{{
    {ui::kIdStatic, ControlClass::staticText, "", kAppIconId, 0x50000003, 0, {11, 17, 20, 20}},
    {ui::kIdStatic,
     ControlClass::staticText,
     "Shotstamp, Version 2.0",
     0,
     0x50020080,
     0,
     {40, 10, 119, 8}},
    {ui::kIdStatic, ControlClass::staticText, kMakerNotice, 0, 0x50020000, 0, {40, 25, 119, 8}},
    {1, ControlClass::button, "OK", 0, 0x50030001, 0, {178, 7, 32, 14}},
}};
} // namespace detail

// Dialog 102: the main window. No system menu, so no close box; its own taskbar button.
inline constexpr ui::DialogTemplate kMainDialog{
    kMainDialogId,
    kLanguageId,
    "Shotstamp 2.0",
    0x90C000C0,
    0x00040000,
    {0, 0, 210, 30},
    {"MS Sans Serif", 8, 0, false, 1},
    detail::kMainControls,
};

// Dialog 100: the About box, shown by its modal run (not visible at creation).
inline constexpr ui::DialogTemplate kAboutDialog{
    kAboutDialogId,
    kLanguageId,
    "About Shotstamp",
    0x80C800C0,
    0,
    {0, 0, 217, 55},
    {"MS Sans Serif", 8, 0, false, 0},
    detail::kAboutControls,
};

// The template with this resource id, or nullptr.
constexpr const ui::DialogTemplate* findDialog(int id) {
    if (id == kMainDialogId) {
        return &kMainDialog;
    }
    if (id == kAboutDialogId) {
        return &kAboutDialog;
    }
    return nullptr;
}

// Icon group 128: a 16 x 16 and a 32 x 32 image, both with a 16-colour palette in one plane.
struct IconImage {
    int resourceId;
    int size;
    int bitsPerPixel;
};
inline constexpr std::array<IconImage, 2> kAppIconImages{{
    {kIconImage32Id, 32, 4},
    {kIconImage16Id, 16, 4},
}};

// Version block 1, string table "040704b0".
struct VersionString {
    std::string_view key;
    std::string_view value;
};
inline constexpr std::array<std::uint16_t, 4> kFileVersion{2, 0, 0, 0};
inline constexpr std::array<std::uint16_t, 4> kProductVersion{2, 0, 0, 0};
inline constexpr std::string_view kVersionStringTable = "040704b0";
inline constexpr std::uint16_t kVersionCodePage = 0x04B0;
inline constexpr std::array<VersionString, 8> kVersionStrings{{
    {"CompanyName", "The Shotstamp authors"},
    {"FileDescription", "Shotstamp"},
    {"FileVersion", "2, 0, 0, 0"},
    {"InternalName", "Shotstamp"},
    {"LegalCopyright", kMakerNotice},
    {"OriginalFilename", "Shotstamp.EXE"},
    {"ProductName", "Shotstamp Application"},
    {"ProductVersion", "2, 0, 0, 0"},
}};

} // namespace shotstamp::res
