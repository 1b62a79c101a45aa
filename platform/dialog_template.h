#pragma once

// A dialog template as plain data: the one description of a window's controls, ids, texts,
// styles and rectangles in dialog units. Both back ends lay their windows out from it (the
// Windows .rc is checked against it). No toolkit header, and no name here may clash with a
// macro of <windows.h> (hence kStyle... instead of WS_...).

#include <cstdint>
#include <span>
#include <string_view>

namespace shotstamp::ui {

// Window style bits, with the values the Windows dialog manager gives them.
inline constexpr std::uint32_t kStylePopup = 0x80000000;
inline constexpr std::uint32_t kStyleChild = 0x40000000;
inline constexpr std::uint32_t kStyleVisible = 0x10000000;
inline constexpr std::uint32_t kStyleCaption = 0x00C00000; // title bar and border
inline constexpr std::uint32_t kStyleBorder = 0x00800000;
inline constexpr std::uint32_t kStyleSysMenu = 0x00080000;
inline constexpr std::uint32_t kStyleGroup = 0x00020000;
inline constexpr std::uint32_t kStyleTabStop = 0x00010000;
inline constexpr std::uint32_t kStyleModalFrame = 0x00000080;    // DS_MODALFRAME
inline constexpr std::uint32_t kStyleSetFont = 0x00000040;       // DS_SETFONT
inline constexpr std::uint32_t kStyleAutoHScroll = 0x00000080;   // edit: ES_AUTOHSCROLL
inline constexpr std::uint32_t kStyleDefPushButton = 0x00000001; // button: BS_DEFPUSHBUTTON
inline constexpr std::uint32_t kStyleButtonTypeMask = 0x0000000F;
inline constexpr std::uint32_t kStyleStaticIcon = 0x00000003; // static: SS_ICON
inline constexpr std::uint32_t kStyleStaticTypeMask = 0x0000001F;
inline constexpr std::uint32_t kStyleNoPrefix = 0x00000080;    // static: SS_NOPREFIX
inline constexpr std::uint32_t kExStyleAppWindow = 0x00040000; // own taskbar button

// The id of a static control that no code addresses (all 32 bits set).
inline constexpr std::int32_t kIdStatic = -1;

// Predefined window-class ordinals of a dialog template.
enum class ControlClass : std::uint16_t {
    button = 0x0080,
    edit = 0x0081,
    staticText = 0x0082,
};

// Dialog units: x in quarters of the font's average character width, y in eighths of its
// height.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    std::int32_t id = kIdStatic;
    ControlClass controlClass = ControlClass::staticText;
    std::string_view text;   // shown text; empty for an icon control
    std::int32_t iconId = 0; // icon resource of an SS_ICON control, else 0
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    DialogRect rect;

    constexpr bool isDefaultButton() const {
        return controlClass == ControlClass::button &&
               (style & kStyleButtonTypeMask) == kStyleDefPushButton;
    }
    constexpr bool isPushButton() const {
        return controlClass == ControlClass::button && (style & kStyleButtonTypeMask) <= 1;
    }
    constexpr bool isIcon() const {
        return controlClass == ControlClass::staticText &&
               (style & kStyleStaticTypeMask) == kStyleStaticIcon;
    }
};

struct DialogFont {
    std::string_view face;
    int pointSize = 0;
    int weight = 0;
    bool italic = false;
    int charset = 0;
};

// An extended dialog template (version 1, signature 0xFFFF), no menu, the standard dialog
// class, help id 0; the caption and every control text are in the system code page.
struct DialogTemplate {
    int id = 0;
    int languageId = 0;
    std::string_view caption;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    DialogRect rect; // position and client-area size
    DialogFont font;
    std::span<const ControlTemplate> controls; // template order, which is the tab order

    const ControlTemplate* control(std::int32_t controlId) const {
        for (const ControlTemplate& c : controls) {
            if (c.id == controlId) {
                return &c;
            }
        }
        return nullptr;
    }
    // The command Enter sends: the push button that has the focus, else the default push
    // button, else kIdOk (the dialog manager's rule).
    std::int32_t enterCommandId(std::int32_t focusedId) const {
        const ControlTemplate* focused = control(focusedId);
        if (focused != nullptr && focused->isPushButton()) {
            return focusedId;
        }
        const std::int32_t fallback = defaultButtonId();
        return fallback != 0 ? fallback : 1;
    }
    // Id of the default push button, or 0 when the template has none.
    std::int32_t defaultButtonId() const {
        for (const ControlTemplate& c : controls) {
            if (c.isDefaultButton()) {
                return c.id;
            }
        }
        return 0;
    }
};

// The font's dialog base units in pixels: average character width and character height.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};

// a * b / c rounded to the nearest integer, halves away from zero, as the Windows dialog
// manager scales (MulDiv). c must not be 0.
constexpr int mulDivRound(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude = (product < 0 ? -product : product) + half;
    const long long quotient = magnitude / (c < 0 ? -c : c);
    return static_cast<int>(negative ? -quotient : quotient);
}

// Maps a rectangle in dialog units to pixels the way the dialog manager does: each edge is
// scaled on its own, so adjacent controls stay edge to edge after rounding.
constexpr PixelRect dialogUnitsToPixels(const DialogRect& r, BaseUnits units) {
    return PixelRect{mulDivRound(r.x, units.x, 4), mulDivRound(r.y, units.y, 8),
                     mulDivRound(r.x + r.width, units.x, 4),
                     mulDivRound(r.y + r.height, units.y, 8)};
}

} // namespace shotstamp::ui
