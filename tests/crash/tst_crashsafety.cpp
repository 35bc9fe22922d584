// SPDX-License-Identifier: GPL-3.0-or-later
#include "CrashWork.h"

#include "annotations/PrivateAnnotationFile.h"
#include "app/SettingsStore.h"
#include "saved/DownloadedShowLibrary.h"
#include "support/DefaultsStore.h"

#include <QDir>
#include <QHash>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Acknowledged = QHash<QString, QSet<QString>>;

// The first file that does not load or acknowledged write that is missing, empty when there is none.
QString firstLoss(const QDir &data, const Acknowledged &acknowledged)
{
    PrivateAnnotationPages pages;
    if (const auto error = PrivateAnnotationFile(data.filePath(crash::inkFile), {}).load(pages))
        return u"the ink file does not load: "_s + error->text();
    for (const QString &name : acknowledged.value(u"stroke"_s)) {
        const int run = name.section(u' ', 0, 0).toInt();
        const int step = name.section(u' ', 1, 1).toInt();
        if (!pages.value(crash::page(run, step)).contains(crash::stroke(run, step)))
            return u"stroke "_s + name + u" is not in the ink file as acknowledged"_s;
    }

    const QDir shows(data.filePath(DownloadedShowLibrary::directoryName));
    for (const QString &file : shows.entryList({u"*.json"_s}, QDir::Files)) {
        if (!DownloadedShowLibrary::Record::read(shows.filePath(file), file.chopped(5)))
            return u"saved show "_s + file + u" does not load"_s;
    }
    for (const QString &id : acknowledged.value(u"show"_s)) {
        if (!shows.exists(id + u".json"_s))
            return u"saved show "_s + id + u" is gone"_s;
    }

    // The controller purges the score keys of a residue file that is a JSON array of strings.
    QFile residueFile(data.filePath(crash::residueFile));
    const QJsonDocument residue = residueFile.open(QIODevice::ReadOnly)
        ? QJsonDocument::fromJson(residueFile.readAll())
        : QJsonDocument(QJsonArray());
    if (!residue.isArray())
        return u"the residue file does not load"_s;
    for (const QString &key : acknowledged.value(u"residue"_s)) {
        if (!residue.array().contains(key))
            return u"score key "_s + key + u" is not in the residue file"_s;
    }

    SettingsDefaultsStore defaults(data.filePath(crash::settingsFile));
    const SettingsStore settings(defaults);
    for (const QString &song : acknowledged.value(u"setting"_s)) {
        if (!settings.partChoicesBySongKey().contains(song))
            return u"the part choice for "_s + song + u" is not in the settings"_s;
    }
    return {};
}

} // namespace

// A child writing through the real stores is killed with SIGKILL at random moments; after each kill
// every file must load and hold everything acknowledged before it.
class CrashSafetyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void acknowledgedWritesSurviveAKill()
    {
        const int kills = qEnvironmentVariable("PGW_CRASH_KILLS", u"100"_s).toInt();
        const quint32 seed
            = qEnvironmentVariable("PGW_CRASH_SEED", QString::number(QRandomGenerator::system()->generate()))
                  .toUInt();
        QRandomGenerator random(seed);
        std::unique_ptr<QTemporaryDir> data;
        Acknowledged acknowledged;
        for (int run = 0; run < kills; ++run) {
            const QString where = u" (PGW_CRASH_SEED=%1, kill %2)"_s.arg(seed).arg(run);
            // Ten children in turn start on what the last one left, then the directory starts afresh.
            if (run % 10 == 0) {
                data = std::make_unique<QTemporaryDir>();
                acknowledged.clear();
            }
            // Each child writes its residue file anew.
            acknowledged.remove(u"residue"_s);

            QProcess child;
            child.start(QStringLiteral(PGW_CRASH_CHILD), {data->path(), QString::number(run)});
            QVERIFY2(child.waitForReadyRead(30'000), qPrintable(u"the child did not start"_s + where));
            QTest::qSleep(int(random.bounded(150)));
            child.kill();
            QVERIFY(child.waitForFinished(30'000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit,
                qPrintable(QString::fromLocal8Bit(child.readAllStandardError()) + where));

            const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
            // The last piece follows the last newline: never a whole acknowledgement.
            for (const QByteArray &line : lines.first(lines.size() - 1)) {
                const QString text = QString::fromUtf8(line);
                acknowledged[text.section(u' ', 0, 0)].insert(text.section(u' ', 1));
            }
            const QString loss = firstLoss(QDir(data->path()), acknowledged);
            QVERIFY2(loss.isEmpty(), qPrintable(loss + where));
        }
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
