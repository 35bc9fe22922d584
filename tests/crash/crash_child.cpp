// SPDX-License-Identifier: GPL-3.0-or-later
// Writes private ink, saved shows, the residue file and settings into one directory until it is
// killed, printing a line for everything a store acknowledged: "stroke RUN STEP", "show ID",
// "residue KEY", "setting SONG".
#include "CrashWork.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/SettingsStore.h"
#include "assets/AssetDirectory.h"
#include "saved/DownloadedShowLibrary.h"
#include "support/DefaultsStore.h"
#include "support/Logging.h"
#include "support/ManualScheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>

using namespace pgw;

namespace {

void acknowledge(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "crash child: %s\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        fail("usage: pgw-crash-child DIRECTORY RUN");
    const QDir data(QString::fromLocal8Bit(argv[1]));
    const int run = std::atoi(argv[2]);

    PrivateAnnotationStore ink(data.filePath(crash::inkFile));
    if (ink.loadBlocked())
        fail("the ink file did not load");
    ManualScheduler scheduler;
    DownloadedShowLibrary library(data.filePath(DownloadedShowLibrary::directoryName),
        AssetStore::create(data.filePath(QStringLiteral("Assets")), {scheduler, scheduler}));
    SettingsDefaultsStore defaults(data.filePath(crash::settingsFile));
    SettingsStore settings(defaults);
    QStringList residue;
    acknowledge(QStringLiteral("ready"));

    for (int step = 0;; ++step) {
        if (!ink.addStroke(crash::stroke(run, step), crash::page(run, step)))
            fail("a stroke was refused");
        acknowledge(QStringLiteral("stroke %1 %2").arg(run).arg(step));
        const QString name = QStringLiteral("%1-%2").arg(run).arg(step);
        switch (step % 4) {
        case 1:
            library.captureLiveManifest(crash::manifest(run, step));
            if (!library.saveCurrentShow({}))
                fail("a show was not saved");
            scheduler.runPending();
            acknowledge(QStringLiteral("show ") + library.currentShowSummary()->id);
            break;
        case 2:
            // The residue file as the controller writes it: a sorted JSON array of score keys.
            residue.append(name);
            residue.sort();
            if (!AssetDirectory::writeAtomically(data.filePath(crash::residueFile),
                    QJsonDocument(QJsonArray::fromStringList(residue)).toJson(QJsonDocument::Compact),
                    lcFiles()))
                fail("the residue file was not written");
            acknowledge(QStringLiteral("residue ") + name);
            break;
        case 3:
            settings.savePartChoice(QStringLiteral("part"), name);
            // Settings reach their file from the event loop, as in the Player.
            QCoreApplication::processEvents();
            acknowledge(QStringLiteral("setting ") + name);
            break;
        }
    }
}
