// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPainter>
#include <QString>

#include <qrencode.h>

namespace pgw::test {

// `text` as a QR code, black modules on white with the standard quiet zone, `module` pixels a module.
// Drawn by libqrencode, so the reader is checked against an encoder other than its own library's.
inline QImage qrCodeImage(const QString &text, int module = 8)
{
    QRcode *code = QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code)
        return {};
    constexpr int quiet = 4;
    const int side = (code->width + 2 * quiet) * module;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + quiet) * module, (y + quiet) * module, module, module, Qt::black);
        }
    }
    painter.end();
    QRcode_free(code);
    return image;
}

} // namespace pgw::test
