// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QString>

// The stand's look: dark so it does not glare on stage, a brass accent, small monospaced type.
namespace pgw::StageStyle {

inline QColor brass()
{
    return QColor::fromRgbF(0.83f, 0.64f, 0.29f);
}
inline QColor dim()
{
    return QColor::fromRgbF(0.56f, 0.58f, 0.64f);
}
inline QColor complete()
{
    return QColor::fromRgbF(0.43f, 0.75f, 0.55f);
}
inline QColor offline()
{
    return QColor::fromRgbF(0.91f, 0.53f, 0.31f);
}
inline QColor warning()
{
    return QColor::fromRgbF(0.78f, 0.36f, 0.32f);
}
inline QColor panel()
{
    return QColor::fromRgbF(0.05f, 0.07f, 0.11f);
}

inline QFont mono(int pixelSize = 13)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    return font;
}

inline QString css(const QColor &color)
{
    return color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

// Floating bars over the pages: a dark, slightly translucent panel with brass text; checked toggles and
// the keyboard focus are drawn in brass so they read on a dim stage.
inline QString barStyleSheet()
{
    const QString accent = css(brass());
    return QStringLiteral(
        "QFrame#bar { background: rgba(13, 18, 28, 232); border: 1px solid rgba(212, 163, 74, 70);"
        " border-radius: 8px; }"
        "QToolButton { color: %1; background: transparent; border: 1px solid transparent;"
        " border-radius: 5px; padding: 4px 8px; }"
        "QToolButton:hover { background: rgba(212, 163, 74, 30); }"
        "QToolButton:checked { background: rgba(212, 163, 74, 56); border-color: rgba(212, 163, 74, 140); }"
        "QToolButton:focus { border-color: %1; }"
        "QToolButton:disabled { color: rgba(142, 148, 163, 120); }"
        "QLabel { color: %2; }")
        .arg(accent, css(dim()));
}

} // namespace pgw::StageStyle
