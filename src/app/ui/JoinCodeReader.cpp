// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/JoinCodeReader.h"

#include "link/PlayerJoinLink.h"
#include "stage/ui/PageImageLoader.h"

// Texts as UTF-8 rather than wide strings, the form later zxing releases keep.
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace pgw::JoinCodeReader {

namespace {

// Codes are read in gray; a transparent background counts as paper, not as the black it stores.
QImage luminance(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat.convertToFormat(QImage::Format_Grayscale8);
}

QStringList codesIn(const QImage &gray)
{
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true).setTryRotate(true);
    const ZXing::ImageView view(
        gray.constBits(), gray.width(), gray.height(), ZXing::ImageFormat::Lum, int(gray.bytesPerLine()));
    QStringList texts;
    for (const ZXing::Result &result : ZXing::ReadBarcodes(view, hints)) {
        if (result.isValid())
            texts.append(QString::fromStdString(result.text()));
    }
    return texts;
}

} // namespace

bool fits(QSize size)
{
    return size.isValid() && qint64(size.width()) * size.height() <= maxPixels;
}

std::optional<QUrl> joinLink(const QString &text)
{
    const QUrl url(text.trimmed());
    return PlayerJoinLink::discoveredHost(url) ? std::optional(url) : std::nullopt;
}

QStringList decodedTexts(const QImage &image)
{
    if (image.isNull() || !fits(image.size()))
        return {};
    QImage gray = luminance(image);
    QStringList texts = codesIn(gray);
    // This zxing has no inverted pass of its own, and screens often show light codes on dark.
    gray.invertPixels();
    texts += codesIn(gray);
    return texts;
}

Outcome read(const QImage &image)
{
    if (image.isNull())
        return {std::nullopt, unreadable};
    if (!fits(image.size()))
        return {std::nullopt, tooLarge};
    const QStringList texts = decodedTexts(image);
    for (const QString &text : texts) {
        if (auto link = joinLink(text))
            return {link, {}};
    }
    return {std::nullopt, texts.isEmpty() ? noCode : notAJoinLink};
}

Outcome read(QIODevice &device)
{
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    // Formats that cannot tell their size early are still bounded by the allocation limit, which is one
    // for the whole process: the page loader's.
    if (const QSize size = reader.size(); size.isValid() && !fits(size))
        return {std::nullopt, tooLarge};
    QImageReader::setAllocationLimit(PageImageLoader::allocationLimitMegabytes);
    return read(reader.read());
}

Outcome readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, unreadable};
    return read(file);
}

} // namespace pgw::JoinCodeReader
