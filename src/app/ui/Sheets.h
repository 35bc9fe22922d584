// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace pgw {

// Opens a sheet over its window: modal to that window only, gone once closed.
inline QDialog *presentSheet(QDialog *sheet)
{
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
    return sheet;
}

} // namespace pgw
