#pragma once

#include "platform/ui.h"

namespace shotstamp {

// The About box (dialog 100): the icon, the version, the maker's notice and "OK". Everything
// it does is the standard dialog behaviour: OK and Enter end it with kIdOk; Escape and its
// close box with kIdCancel.
class AboutDialog final : public ui::Dialog {
public:
    AboutDialog();
};

} // namespace shotstamp
