// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace pgw::hostsim {

// The show a simulated Host serves: its manifest, its part renditions and the bytes of every asset,
// from a folder laid out like the sample show or generated for any size.
class SimShow
{
public:
    struct Asset
    {
        QString version;
        QByteArray bytes;
    };

    // Reads show.json ({"manifest", "renditions"}) and serves pages/<token>/<page>/<kind> from the folder.
    static std::optional<SimShow> load(const QString &folder, QString *error = nullptr);
    // `scores` charts of `pages` pages each, drawn with staves and page numbers when first asked for.
    static SimShow generate(int scores, int pages, QSize pageSize = QSize(1275, 1650));

    const QJsonObject &manifest() const { return m_manifest; }
    std::optional<QJsonObject> rendition(const QString &ref) const;
    std::optional<Asset> asset(qint64 scoreToken, qint64 pageIndex, const QString &kind) const;
    // Adds or replaces an asset, e.g. a large one for a transfer test.
    void addAsset(
        qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes);
    // A page of the manifest's scores and items changed on the Host: `kind` ("base.png" or "marks.png")
    // takes the new version, served as `bytes` (404 while they are empty, until addAsset gives them),
    // and the structure version grows. Returns the new structure version.
    int revisePage(
        qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes);
    // The Host opens another set-list item: it becomes the manifest's score and current item, and the
    // structure version grows. Out-of-range indices change nothing.
    void openItem(int scoreIndex);

    int itemCount() const;
    // The set-list item's page count (the open score's when the index is out of range).
    int pageCount(int scoreIndex) const;
    // The set-list item's score key and score token, for nav messages.
    QJsonObject item(int scoreIndex) const;

private:
    struct Source
    {
        QString version;
        std::function<QByteArray()> produce;
    };
    static QString key(qint64 scoreToken, qint64 pageIndex, const QString &kind);

    QJsonObject m_manifest;
    QJsonObject m_renditions;
    QHash<QString, Source> m_sources;
    mutable QHash<QString, QByteArray> m_produced;
};

// A page of music for a generated show: staves, a few notes and the page number, 8-bit grey PNG.
QByteArray drawPage(QSize size, int scoreIndex, int pageIndex);

} // namespace pgw::hostsim
