// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimShow.h"

#include "support/Json.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonArray>
#include <QPainter>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace pgw::hostsim {

namespace {

const QString baseKind = u"base.png"_s;
const QString marksKind = u"marks.png"_s;

QList<QJsonObject> scoresOf(const QJsonObject &manifest, const QJsonObject &renditions)
{
    QList<QJsonObject> scores;
    if (auto score = json::optObject(manifest, "score"_L1))
        scores << *score;
    for (const QJsonValue &item : json::arrayOr(json::objectOr(manifest, "show"_L1), "items"_L1))
        scores << item.toObject();
    for (const QJsonValue &rendition : renditions)
        scores << rendition.toObject();
    return scores;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Digits as seven segments, so drawing needs no fonts.
void drawNumber(QPainter &painter, int number, QPoint centre, int height)
{
    static const int segments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    const QString digits = QString::number(number);
    const int w = height / 2;
    const int gap = w / 2;
    int x = centre.x() - int(digits.size()) * (w + gap) / 2;
    const int top = centre.y() - height / 2;
    for (QChar digit : digits) {
        const int s = segments[digit.digitValue()];
        const QPoint a(x, top), b(x + w, top), c(x + w, top + height / 2), d(x, top + height / 2),
            e(x + w, top + height), f(x, top + height);
        const QLine lines[7] = {{a, b}, {b, c}, {c, e}, {f, e}, {d, f}, {a, d}, {d, c}};
        for (int i = 0; i < 7; ++i) {
            if (s & (1 << i))
                painter.drawLine(lines[i]);
        }
        x += w + gap;
    }
}

QJsonObject generatedItem(int index, int pages, QSize size)
{
    QJsonArray pageList;
    for (int p = 0; p < pages; ++p)
        pageList.append(QJsonObject {{"index"_L1, p}, {"baseVersion"_L1, u"g%1-b%2-1"_s.arg(index).arg(p)},
            {"pixelWidth"_L1, size.width()}, {"pixelHeight"_L1, size.height()}});
    return {{"scoreKey"_L1, u"generated-%1"_s.arg(index + 1)}, {"scoreToken"_L1, 1001 + index},
        {"songKey"_L1, u"generated-%1"_s.arg(index + 1)},
        {"title"_L1, u"Generated chart %1"_s.arg(index + 1)},
        {"occurrenceKey"_L1, u"generated-occurrence-%1"_s.arg(index + 1)}, {"pageCount"_L1, pages},
        {"pages"_L1, pageList}};
}

} // namespace

QString SimShow::key(qint64 scoreToken, qint64 pageIndex, const QString &kind)
{
    return QString::number(scoreToken) + u'/' + QString::number(pageIndex) + u'/' + kind;
}

std::optional<SimShow> SimShow::load(const QString &folder, QString *error)
{
    const QDir dir(folder);
    const auto document = json::parseObject(readFile(dir.filePath(u"show.json"_s)));
    if (!document || !json::optObject(*document, "manifest"_L1)) {
        if (error)
            *error = u"no show.json with a manifest in "_s + folder;
        return std::nullopt;
    }
    SimShow show;
    show.m_manifest = json::objectOr(*document, "manifest"_L1);
    show.m_renditions = json::objectOr(*document, "renditions"_L1);
    for (const QJsonObject &score : scoresOf(show.m_manifest, show.m_renditions)) {
        const qint64 token = json::intOr(score, "scoreToken"_L1, -1);
        for (const QJsonValue &value : json::arrayOr(score, "pages"_L1)) {
            const QJsonObject page = value.toObject();
            const qint64 index = json::intOr(page, "index"_L1, -1);
            const QString folderOfPage = dir.filePath(u"pages/%1/%2/"_s.arg(token).arg(index));
            for (const auto &[kind, member] :
                {std::pair(baseKind, "baseVersion"_L1), std::pair(marksKind, "marksVersion"_L1)}) {
                if (const auto version = json::nonEmptyString(page, member)) {
                    const QString path = folderOfPage + kind;
                    show.m_sources.insert(
                        key(token, index, kind), Source {*version, [path] { return readFile(path); }});
                }
            }
        }
    }
    return show;
}

SimShow SimShow::generate(int scores, int pages, QSize pageSize)
{
    SimShow show;
    QJsonArray items;
    for (int i = 0; i < scores; ++i) {
        const QJsonObject item = generatedItem(i, pages, pageSize);
        items.append(item);
        for (int p = 0; p < pages; ++p)
            show.m_sources.insert(key(1001 + i, p, baseKind),
                Source {u"g%1-b%2-1"_s.arg(i).arg(p), [pageSize, i, p] { return drawPage(pageSize, i, p); }});
    }
    const QJsonObject first = items.isEmpty() ? QJsonObject() : items.first().toObject();
    show.m_manifest = {{"structureVersion"_L1, 1}, {"capabilities"_L1, QJsonObject {{"parts"_L1, false}}},
        {"score"_L1, first},
        {"show"_L1,
            QJsonObject {
                {"setlistName"_L1, "Generated show"_L1}, {"items"_L1, items}, {"currentScoreIndex"_L1, 0}}},
        {"state"_L1,
            QJsonObject {{"pageIndex"_L1, 0}, {"scoreIndex"_L1, 0},
                {"scoreKey"_L1, first.value("scoreKey"_L1)}, {"blackout"_L1, false}, {"followers"_L1, 1}}}};
    return show;
}

std::optional<QJsonObject> SimShow::rendition(const QString &ref) const
{
    const QJsonValue value = m_renditions.value(ref);
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<SimShow::Asset> SimShow::asset(qint64 scoreToken, qint64 pageIndex, const QString &kind) const
{
    const QString k = key(scoreToken, pageIndex, kind);
    const auto source = m_sources.constFind(k);
    if (source == m_sources.constEnd())
        return std::nullopt;
    auto produced = m_produced.find(k);
    if (produced == m_produced.end())
        produced = m_produced.insert(k, source->produce());
    if (produced->isEmpty())
        return std::nullopt;
    return Asset {source->version, *produced};
}

void SimShow::addAsset(
    qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes)
{
    const QString k = key(scoreToken, pageIndex, kind);
    m_sources.insert(k, Source {version, [bytes] { return bytes; }});
    m_produced.remove(k);
}

int SimShow::revisePage(
    qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes)
{
    const QLatin1StringView member = kind == marksKind ? "marksVersion"_L1 : "baseVersion"_L1;
    auto revise = [&](QJsonObject owner) {
        if (json::intOr(owner, "scoreToken"_L1, -1) != scoreToken)
            return owner;
        QJsonArray pages = json::arrayOr(owner, "pages"_L1);
        for (qsizetype i = 0; i < pages.size(); ++i) {
            QJsonObject page = pages.at(i).toObject();
            if (json::intOr(page, "index"_L1, -1) == pageIndex) {
                page.insert(member, version);
                pages.replace(i, page);
            }
        }
        owner.insert("pages"_L1, pages);
        return owner;
    };
    if (const auto score = json::optObject(m_manifest, "score"_L1))
        m_manifest.insert("score"_L1, revise(*score));
    QJsonObject show = json::objectOr(m_manifest, "show"_L1);
    QJsonArray items = json::arrayOr(show, "items"_L1);
    for (qsizetype i = 0; i < items.size(); ++i)
        items.replace(i, revise(items.at(i).toObject()));
    if (!items.isEmpty()) {
        show.insert("items"_L1, items);
        m_manifest.insert("show"_L1, show);
    }
    const int structureVersion = json::int32Or(m_manifest, "structureVersion"_L1, 0) + 1;
    m_manifest.insert("structureVersion"_L1, structureVersion);
    addAsset(scoreToken, pageIndex, kind, version, std::move(bytes));
    return structureVersion;
}

void SimShow::openItem(int scoreIndex)
{
    QJsonObject show = json::objectOr(m_manifest, "show"_L1);
    const QJsonArray items = json::arrayOr(show, "items"_L1);
    if (scoreIndex < 0 || scoreIndex >= items.size())
        return;
    show.insert("currentScoreIndex"_L1, scoreIndex);
    m_manifest.insert("show"_L1, show);
    m_manifest.insert("score"_L1, items.at(scoreIndex));
    m_manifest.insert("structureVersion"_L1, json::int32Or(m_manifest, "structureVersion"_L1, 0) + 1);
}

int SimShow::itemCount() const
{
    return int(json::arrayOr(json::objectOr(m_manifest, "show"_L1), "items"_L1).size());
}

QJsonObject SimShow::item(int scoreIndex) const
{
    const QJsonArray items = json::arrayOr(json::objectOr(m_manifest, "show"_L1), "items"_L1);
    if (scoreIndex >= 0 && scoreIndex < items.size())
        return items.at(scoreIndex).toObject();
    return json::objectOr(m_manifest, "score"_L1);
}

int SimShow::pageCount(int scoreIndex) const
{
    return json::int32Or(item(scoreIndex), "pageCount"_L1, 0);
}

QByteArray drawPage(QSize size, int scoreIndex, int pageIndex)
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int margin = size.width() / 12;
    const int lineGap = std::max(2, size.height() / 160);
    const int staffHeight = lineGap * 4;
    const int systemGap = staffHeight * 3;
    QRandomGenerator notes(quint32(scoreIndex * 7919 + pageIndex));
    painter.setPen(QPen(Qt::black, std::max(1, lineGap / 6)));
    painter.setBrush(Qt::black);
    for (int top = margin * 2; top + staffHeight < size.height() - margin * 2; top += systemGap) {
        for (int line = 0; line < 5; ++line)
            painter.drawLine(margin, top + line * lineGap, size.width() - margin, top + line * lineGap);
        for (int x = margin + lineGap * 6; x < size.width() - margin - lineGap * 2; x += lineGap * 4) {
            const int y = top + int(notes.bounded(9)) * lineGap / 2;
            painter.drawEllipse(QPointF(x, y), lineGap * 0.6, lineGap * 0.45);
        }
    }
    painter.setPen(QPen(Qt::black, std::max(2, lineGap / 3)));
    drawNumber(painter, pageIndex + 1, QPoint(size.width() / 2, size.height() - margin), margin / 2);
    painter.end();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(image);
    return png;
}

} // namespace pgw::hostsim
