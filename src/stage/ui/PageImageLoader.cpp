#include "stage/ui/PageImageLoader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QThreadPool>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

int costOf(const QImage &image)
{
    // Undecodable entries cost a little, so they are remembered but cannot fill the cache.
    return int(std::max<qsizetype>(image.sizeInBytes() >> 10, 1));
}

QImage normalized(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_Grayscale16:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return image.convertToFormat(QImage::Format_Grayscale8);
    default:
        if (image.format() == QImage::Format_Indexed8 && image.isGrayscale())
            return image.convertToFormat(QImage::Format_Grayscale8);
        return image.convertToFormat(
            image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
}

} // namespace

QString PageImageLoader::Request::cacheKey() const
{
    return source + (invert ? u"|inverted|"_s : u"|"_s) + QString::number(target.width()) + u'x'
        + QString::number(target.height());
}

PageImageLoader::PageImageLoader(qint64 cacheBytes, QObject *parent)
    : QObject(parent)
    , m_cache(qsizetype(std::max<qint64>(cacheBytes >> 10, 1)))
{ }

PageImageLoader &PageImageLoader::shared()
{
    static PageImageLoader loader;
    return loader;
}

std::optional<QImage> PageImageLoader::cached(const Request &request)
{
    if (const QImage *image = m_cache.object(request.cacheKey()))
        return *image;
    return std::nullopt;
}

bool PageImageLoader::load(const Request &request, int priority, QObject *context, Done done)
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
    QThreadPool::globalInstance()->start(
        [self, key, png = request.png, target = request.target, invert = request.invert] {
            QImage image = decode(png, target, invert);
            // Handed back through the application object, which outlives every loader's callers.
            QMetaObject::invokeMethod(
                qApp,
                [self, key, image = std::move(image)] {
                    if (self)
                        self->finish(key, image);
                },
                Qt::QueuedConnection);
        },
        priority);
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
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    return size.isValid() && !size.isEmpty() ? size : QSize();
}

QImage PageImageLoader::decode(const QByteArray &png, const QSize &target, bool invert)
{
    if (png.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoTransform(false);
    reader.setAllocationLimit(allocationLimitMegabytes);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image = normalized(std::move(image));
    if (target.isValid() && !target.isEmpty()
        && (target.width() < image.width() || target.height() < image.height())) {
        const bool gray = image.format() == QImage::Format_Grayscale8;
        image = image.scaled(target.boundedTo(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (gray && image.format() != QImage::Format_Grayscale8)
            image = image.convertToFormat(QImage::Format_Grayscale8);
    }
    if (invert)
        image.invertPixels();
    return image;
}

} // namespace pgw
