// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace pgw {

// A short scripted show that lets the Player be tried without a Host: three pages, a greeting,
// presence, page turns, a blackout and a live ink stroke, repeating every 27 seconds. Its messages
// are the ones a Host would send, so the show model plays it like any live show. Main thread only.
class DemoShow : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 scoreToken = 999001;
    static constexpr int structureVersion = 1;
    static constexpr int pageCount = 3;
    static constexpr double cycleLength = 27.0;
    // Far above any engraved page; a larger file is not one of ours.
    static constexpr qint64 maxPageBytes = 8 * 1024 * 1024;

    static inline const QString scoreKey = QStringLiteral("demo-cantsavethis");
    static inline const QString baseKind = QStringLiteral("base.png");

    struct AssetAnswer
    {
        int status = 0;
        std::optional<QString> fingerprint;
        QByteArray data;
        bool operator==(const AssetAnswer &) const = default;
    };

    // Reads "demo-page-1.png" … "demo-page-3.png" from pagesFolder.
    DemoShow(Scheduler &scheduler, const QString &pagesFolder, QObject *parent = nullptr);

    // The folder of the pages: the source tree's copy when running from a build, else the installed one.
    static QString defaultPagesFolder();
    static QString pageFileName(int pageNumber);
    // The 24 samples of the demo's stroke, each [x, y, pressure], as they travel in an ink message.
    static QJsonArray circleSamples();

    std::function<void(const QJsonObject &)> onMessage;

    // True only when every page was read; otherwise no page is kept.
    bool load();
    const QList<QByteArray> &pages() const { return m_pages; }
    QJsonObject manifest() const;
    int cycle() const { return m_cycle; }

    // Greeting and presence now, then the script; a running script is stopped first.
    void start();
    // Cancels every pending step, including the rest of a stroke in progress.
    void stop();

    // The answer to an asset request while the demo stands in for the Host. The demo serves its own
    // version of a page whatever version was asked for.
    AssetAnswer answerAsset(
        qint64 requestedScoreToken, qint64 pageIndex, const QString &kind, const QString &version) const;

private:
    using Step = std::function<void(DemoShow &)>;

    void schedule(double delay, Step step);
    void scheduleCycle();
    void beginStroke(const QString &strokeId);
    // Delivers one message; false when the receiver destroyed the demo meanwhile.
    bool send(const QJsonObject &message);

    Scheduler &m_scheduler;
    QString m_pagesFolder;
    QList<QByteArray> m_pages;
    QList<TaskHandle> m_work;
    int m_cycle = 0;
};

} // namespace pgw
