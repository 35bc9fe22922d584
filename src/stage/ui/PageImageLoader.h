// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <functional>

namespace pgw {

// Page images ready to draw: PNGs decoded off the main thread, scaled to the device pixels they are drawn
// at and inverted where asked, kept in one cache bounded in bytes (least recently used goes first).
// A 300-dpi page is decoded at full size only on a worker; the main thread only ever blits copies of the
// size it draws. Decoding has threads of its own, so that a two-core laptop's main thread is never
// starved by it. Main thread only, apart from the decoding itself.
class PageImageLoader : public QObject
{
    Q_OBJECT

public:
    // PNGs asking for more than this are refused rather than decoded.
    static constexpr int allocationLimitMegabytes = 160;
    static constexpr qint64 defaultCacheBytes = qint64(96) << 20;

    // What to draw: `source` names the PNG's content (page key, version and size), so equal sources
    // decode to equal pixels.
    struct Request
    {
        QString source;
        QByteArray png;
        QSize target;
        bool invert = false;

        QString cacheKey() const;
    };
    using Done = std::function<void(const QImage &)>;

    explicit PageImageLoader(qint64 cacheBytes = defaultCacheBytes, QObject *parent = nullptr);

    // The loader every stage shares, so flipping between pages never decodes twice.
    static PageImageLoader &shared();

    enum class Urgency {
        // Pages on screen: decoded at once, on one thread, so a core stays free for the main thread.
        Now,
        // Pages prepared for turns to come: decoded only with processor time nothing else wants.
        Ahead,
    };

    // Answers with the image (null when the PNG does not decode) on the main thread: at once when it is
    // cached, and then returns true; otherwise later, once, unless `context` is gone by then. Equal
    // requests in flight share one decode.
    bool load(const Request &request, Urgency urgency, QObject *context, Done done);

    // No decode is waiting to be answered.
    bool isIdle() const { return m_waiting.isEmpty(); }
    // Blocks until the decoding threads are done; their answers arrive later on the main thread.
    void waitForDecodes();
    void clear() { m_cache.clear(); }

    // The pixel size a PNG's header announces; empty when it is not a readable PNG.
    static QSize pixelSize(const QByteArray &png);
    // Decodes under the allocation limit and scales down to `target` (never up, keeping 8-bit grayscale
    // pages 8-bit); inverts when asked. Null when the data does not decode.
    static QImage decode(const QByteArray &png, const QSize &target, bool invert);

private:
    struct Waiter
    {
        QPointer<QObject> context;
        Done done;
    };
    void finish(const QString &key, const QImage &image);

    // Costs are in KiB so that the cache's int arithmetic holds gigabytes.
    QCache<QString, QImage> m_cache;
    QHash<QString, QList<Waiter>> m_waiting;
    QThreadPool m_now;
    QThreadPool m_ahead;
};

} // namespace pgw
