// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/PageImageLoader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

int costOf(const QImage &image)
{
    // Undecodable entries cost a little, so they are remembered but cannot fill the cache.
    return int(std::max<qsizetype>(image.sizeInBytes() >> 10, 1));
}

// Gray pages keep one byte a pixel; others take the formats painting is fastest with.
QImage settled(QImage image, bool gray)
{
    if (gray && !image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied)
        return image;
    return image.convertToFormat(
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

// A PNG in memory, read under the allocation limit.
struct PngReader
{
    QBuffer buffer;
    QImageReader reader;

    explicit PngReader(const QByteArray &png)
    {
        buffer.setData(png);
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat("png");
        reader.setAutoTransform(false);
        reader.setAllocationLimit(PageImageLoader::allocationLimitMegabytes);
    }
};

} // namespace

QString PageImageLoader::Request::cacheKey() const
{
    return source + (invert ? u"|inverted|"_s : u"|"_s) + QString::number(target.width()) + u'x'
        + QString::number(target.height());
}

PageImageLoader::PageImageLoader(qint64 cacheBytes, QObject *parent)
    : QObject(parent)
    , m_cache(qsizetype(std::max<qint64>(cacheBytes >> 10, 1)))
{
    // One thread each: a decode of a 300-dpi page holds tens of megabytes while it runs.
    m_now.setMaxThreadCount(1);
    m_ahead.setMaxThreadCount(1);
    m_ahead.setThreadPriority(QThread::IdlePriority);
}

PageImageLoader &PageImageLoader::shared()
{
    static PageImageLoader loader;
    // Decodes still running when the application object goes hand their pages to it: they must end first.
    static const bool drained = [] {
        qAddPostRoutine([] { shared().waitForDecodes(); });
        return true;
    }();
    Q_UNUSED(drained);
    return loader;
}

void PageImageLoader::waitForDecodes()
{
    m_now.waitForDone();
    m_ahead.waitForDone();
}

bool PageImageLoader::load(const Request &request, Urgency urgency, QObject *context, Done done)
{
    const QString key = request.cacheKey();
    if (const QImage *image = m_cache.object(key)) {
        done(*image);
        return true;
    }
    auto waiting = m_waiting.find(key);
    const bool inFlight = waiting != m_waiting.end();
    if (!inFlight)
        waiting = m_waiting.insert(key, {});
    waiting->append({context, std::move(done)});
    if (inFlight)
        return false;

    QPointer<PageImageLoader> self(this);
    (urgency == Urgency::Now ? m_now : m_ahead)
        .start([self, key, png = request.png, target = request.target, invert = request.invert] {
            QImage image = decode(png, target, invert);
            // Handed back through the application object, which outlives every loader's callers.
            QMetaObject::invokeMethod(
                qApp,
                [self, key, image = std::move(image)] {
                    if (self)
                        self->finish(key, image);
                },
                Qt::QueuedConnection);
        });
    return false;
}

void PageImageLoader::finish(const QString &key, const QImage &image)
{
    m_cache.insert(key, new QImage(image), costOf(image));
    const QList<Waiter> waiters = m_waiting.take(key);
    for (const Waiter &waiter : waiters) {
        if (waiter.context)
            waiter.done(image);
    }
}

QSize PageImageLoader::pixelSize(const QByteArray &png)
{
    if (png.isEmpty())
        return {};
    PngReader source(png);
    const QSize size = source.reader.size();
    return size.isValid() && !size.isEmpty() ? size : QSize();
}

QImage PageImageLoader::decode(const QByteArray &png, const QSize &target, bool invert)
{
    if (png.isEmpty())
        return {};
    PngReader source(png);
    QImage image = source.reader.read();
    if (image.isNull())
        return {};
    // Scaled before its format is settled, so a full-size page is never copied only to change format.
    const bool gray = image.format() == QImage::Format_Grayscale8
        || image.format() == QImage::Format_Grayscale16 || (image.colorCount() > 0 && image.isGrayscale());
    if (target.isValid() && !target.isEmpty()
        && (target.width() < image.width() || target.height() < image.height()))
        image = image.scaled(target.boundedTo(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = settled(std::move(image), gray);
    if (invert)
        image.invertPixels();
    return image;
}

} // namespace pgw
