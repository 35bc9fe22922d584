// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QApplication;

namespace pgw {

// One dark look for the whole Player (Fusion style): fields, buttons, lists and dialogs included, with
// the brass accent for selection and links.
void applyDesktopPalette(QApplication &application);

} // namespace pgw
