// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace pgw {

// Whether the keyboard is with text being typed: page-turn keys then belong to the text.
inline bool textInputHasFocus()
{
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus))
        return true;
    if (auto *edit = qobject_cast<QTextEdit *>(focus))
        return !edit->isReadOnly();
    if (auto *edit = qobject_cast<QPlainTextEdit *>(focus))
        return !edit->isReadOnly();
    return false;
}

} // namespace pgw
