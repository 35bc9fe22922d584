// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/DemoShow.h"

#include "link/Wire.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <array>
#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

constexpr int samplesPerMessage = 4;
constexpr int strokePage = 1;
constexpr std::array appendDelays {0.4, 0.52, 0.64, 0.76, 0.88};
constexpr double strokeEndDelay = 1.3;

QString baseVersion(qint64 pageIndex)
{
    return u"demo-b"_s + QString::number(pageIndex);
}

QJsonObject greetingMessage()
{
    return {
        {"type"_L1, MessageType::hello},
        {"protocolVersion"_L1, 1},
        {"structureVersion"_L1, DemoShow::structureVersion},
        {"state"_L1, QJsonObject {{"pageIndex"_L1, 0}, {"blackout"_L1, false}, {"followers"_L1, 3}}},
    };
}

QJsonObject presenceMessage()
{
    return {
        {"type"_L1, MessageType::presence},
        {"count"_L1, 3},
        {"names"_L1, QJsonArray {u"you"_s, u"Alex"_s, u"Sam"_s}},
    };
}

QJsonObject navMessage(qint64 stamp, int pageIndex)
{
    return {
        {"type"_L1, MessageType::nav},
        {"t"_L1, stamp},
        {"pageIndex"_L1, pageIndex},
        {"structureVersion"_L1, DemoShow::structureVersion},
    };
}

QJsonObject blackoutMessage(bool on)
{
    return {{"type"_L1, MessageType::blackout}, {"on"_L1, on}};
}

QJsonObject inkMessage(QLatin1StringView phase, const QString &strokeId)
{
    return {{"type"_L1, MessageType::ink}, {"phase"_L1, phase}, {"strokeId"_L1, strokeId}};
}

QJsonArray sampleChunk(const QJsonArray &samples, int chunk)
{
    QJsonArray result;
    for (int i = chunk * samplesPerMessage; i < (chunk + 1) * samplesPerMessage; ++i)
        result.append(samples.at(i));
    return result;
}

} // namespace

DemoShow::DemoShow(Scheduler &scheduler, const QString &pagesFolder, QObject *parent)
    : QObject(parent)
    , m_scheduler(scheduler)
    , m_pagesFolder(pagesFolder)
{ }

QString DemoShow::defaultPagesFolder()
{
    const QString sourceFolder = QStringLiteral(PGW_DEMO_SOURCE_DIR);
    if (QFileInfo::exists(QDir(sourceFolder).filePath(pageFileName(1))))
        return sourceFolder;
    return QStandardPaths::locate(
        QStandardPaths::GenericDataLocation, u"pagewright-player/demo"_s, QStandardPaths::LocateDirectory);
}

QString DemoShow::pageFileName(int pageNumber)
{
    return u"demo-page-"_s + QString::number(pageNumber) + u".png"_s;
}

QJsonArray DemoShow::circleSamples()
{
    QJsonArray samples;
    for (int i = 0; i < 24; ++i) {
        const double theta = 2.0 * std::numbers::pi * i / 23.0;
        const double pressure = std::floor((0.55 + 0.3 * std::sin(2.0 * theta)) * 100.0) / 100.0;
        samples.append(QJsonArray {
            0.62 + 0.0776255707762557 * std::cos(theta), 0.33 + 0.06 * std::sin(theta), pressure});
    }
    return samples;
}

bool DemoShow::load()
{
    m_pages.clear();
    if (m_pagesFolder.isEmpty())
        return false;
    QList<QByteArray> pages;
    for (int number = 1; number <= pageCount; ++number) {
        QFile file(QDir(m_pagesFolder).filePath(pageFileName(number)));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.read(maxPageBytes + 1);
        if (bytes.isEmpty() || bytes.size() > maxPageBytes)
            return false;
        pages.append(bytes);
    }
    m_pages = pages;
    return true;
}

QJsonObject DemoShow::manifest() const
{
    QJsonArray pages;
    for (qsizetype index = 0; index < m_pages.size(); ++index)
        pages.append(QJsonObject {{"index"_L1, index}, {"baseVersion"_L1, baseVersion(index)}});
    return {
        {"structureVersion"_L1, structureVersion},
        {"score"_L1,
            QJsonObject {
                {"scoreToken"_L1, scoreToken},
                {"scoreKey"_L1, scoreKey},
                {"title"_L1, u"Can't Save This — demo"_s},
                {"pageCount"_L1, m_pages.size()},
                {"pages"_L1, pages},
            }},
    };
}

void DemoShow::start()
{
    stop();
    // Scheduled before anything is delivered, so a receiver that stops the demo stops all of it.
    scheduleCycle();
    if (send(greetingMessage()))
        send(presenceMessage());
}

void DemoShow::stop()
{
    for (TaskHandle &handle : m_work)
        handle.cancel();
    m_work.clear();
}

DemoShow::AssetAnswer DemoShow::answerAsset(
    qint64 requestedScoreToken, qint64 pageIndex, const QString &kind, const QString &) const
{
    if (requestedScoreToken != scoreToken || kind != baseKind || pageIndex < 0 || pageIndex >= m_pages.size())
        return {404, std::nullopt, {}};
    return {200, baseVersion(pageIndex), m_pages.at(pageIndex)};
}

void DemoShow::schedule(double delay, Step step)
{
    // Steps that ran or were cancelled are dropped, so an endless script keeps a short list.
    m_work.removeIf([](const TaskHandle &handle) { return !handle.isActive(); });
    m_work.append(m_scheduler.postAfter(delay, [demo = QPointer(this), step = std::move(step)] {
        if (demo)
            step(*demo);
    }));
}

void DemoShow::scheduleCycle()
{
    const int current = m_cycle++;
    const qint64 base = qint64(current) * 1000 + 1;
    const QString strokeId = u"demo-stroke-"_s + QString::number(current + 1);
    schedule(6.0, [base](DemoShow &demo) { demo.send(navMessage(base + 1, 1)); });
    schedule(9.0, [strokeId](DemoShow &demo) { demo.beginStroke(strokeId); });
    schedule(15.0, [base](DemoShow &demo) { demo.send(navMessage(base + 2, 2)); });
    schedule(19.0, [](DemoShow &demo) { demo.send(blackoutMessage(true)); });
    schedule(21.5, [](DemoShow &demo) { demo.send(blackoutMessage(false)); });
    schedule(24.0, [base](DemoShow &demo) { demo.send(navMessage(base + 3, 0)); });
    schedule(cycleLength, [](DemoShow &demo) { demo.scheduleCycle(); });
}

void DemoShow::beginStroke(const QString &strokeId)
{
    const QJsonArray samples = circleSamples();
    for (int chunk = 1; chunk <= int(appendDelays.size()); ++chunk) {
        QJsonObject append = inkMessage("append"_L1, strokeId);
        append.insert("samples"_L1, sampleChunk(samples, chunk));
        schedule(appendDelays[chunk - 1], [append](DemoShow &demo) { demo.send(append); });
    }
    schedule(strokeEndDelay, [end = inkMessage("end"_L1, strokeId)](DemoShow &demo) { demo.send(end); });

    QJsonObject begin = inkMessage("begin"_L1, strokeId);
    begin.insert("pageIndex"_L1, strokePage);
    begin.insert(
        "style"_L1, QJsonObject {{"color"_L1, QJsonArray {0.9, 0.12, 0.12, 1.0}}, {"width"_L1, 0.004}});
    begin.insert("samples"_L1, sampleChunk(samples, 0));
    send(begin);
}

bool DemoShow::send(const QJsonObject &message)
{
    if (!onMessage)
        return true;
    const QPointer<DemoShow> alive(this);
    // A copy, because the receiver may destroy the demo and with it this callback.
    const auto deliver = onMessage;
    deliver(message);
    return !alive.isNull();
}

} // namespace pgw
