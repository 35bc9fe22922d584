// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

#include <qrencode.h>

namespace pgw::test {

// `text` as a QR code, black modules on white with the standard quiet zone, `module` pixels a module.
// Drawn by libqrencode, so the reader is checked against an encoder other than its own library's.
inline QImage qrCodeImage(const QString &text, int module = 8)
{
    QRcode *code = QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    constexpr int quiet = 4;
    QImage modules(code->width + 2 * quiet, code->width + 2 * quiet, QImage::Format_Grayscale8);
    modules.fill(255);
    for (int i = 0; i < code->width * code->width; ++i)
        modules.scanLine(quiet + i / code->width)[quiet + i % code->width] = code->data[i] & 1 ? 0 : 255;
    QRcode_free(code);
    return modules.scaled(modules.size() * module).convertToFormat(QImage::Format_RGB32);
}

} // namespace pgw::test
