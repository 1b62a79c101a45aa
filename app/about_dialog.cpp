#include "app/about_dialog.h"

#include "res/dialog_templates.h"

namespace shotstamp {

AboutDialog::AboutDialog() : ui::Dialog(res::kAboutDialog) {}

} // namespace shotstamp
