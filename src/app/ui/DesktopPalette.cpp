// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/DesktopPalette.h"

#include "stage/ui/StageStyle.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace pgw {

void applyDesktopPalette(QApplication &application)
{
    application.setStyle(QStyleFactory::create(u"Fusion"_s));
    const QColor text(0xe6, 0xe2, 0xd8);
    const QColor brass = StageStyle::brass();
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x12, 0x14, 0x19));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1a, 0x1e, 0x26));
    palette.setColor(QPalette::AlternateBase, QColor(0x20, 0x25, 0x2e));
    palette.setColor(QPalette::ToolTipBase, QColor(0x20, 0x25, 0x2e));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, StageStyle::dim());
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x24, 0x29, 0x34));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xff, 0xf4, 0xdc));
    palette.setColor(QPalette::Light, QColor(0x3a, 0x40, 0x4c));
    palette.setColor(QPalette::Midlight, QColor(0x2c, 0x32, 0x3c));
    palette.setColor(QPalette::Mid, QColor(0x1e, 0x22, 0x2a));
    palette.setColor(QPalette::Dark, QColor(0x0c, 0x0e, 0x12));
    palette.setColor(QPalette::Shadow, QColor(0x05, 0x06, 0x08));
    palette.setColor(QPalette::Highlight, brass);
    palette.setColor(QPalette::HighlightedText, QColor(0x15, 0x11, 0x0a));
    palette.setColor(QPalette::Link, brass);
    palette.setColor(QPalette::LinkVisited, brass.darker(120));
    const QColor muted(0x6c, 0x70, 0x7a);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0x1c, 0x20, 0x28));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x4a, 0x42, 0x30));
    application.setPalette(palette);
    // Roomier fields and buttons than Fusion's, for a stand read at arm's length; focus in the accent.
    application.setStyleSheet(
        u"QLineEdit { padding: 6px 8px; border: 1px solid #3a404c; border-radius: 5px; background: #1a1e26; }"
        "QLineEdit:focus { border-color: %1; }"
        "QPushButton { padding: 6px 14px; }"
        "QDialog { border: 1px solid #3a404c; }"_s.arg(brass.name()));
}

} // namespace pgw
