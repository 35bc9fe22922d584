// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../show/ShowFixtures.h"
#include "assets/AssetStore.h"
#include "stage/ui/DesktopStageView.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace pgw::test {

using namespace Qt::StringLiterals;

inline QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A live show of `pageCount` pages of one gray level each (0x40, 0x41, …), 8-bit like the Host's engraved
// pages, served by the asset store from the PNGs in `bases` and `marks`, all on one manual scheduler.
struct StageModel
{
    ManualScheduler main;
    QTemporaryDir directory;
    std::shared_ptr<AssetStore> assets = AssetStore::create(directory.path(), {main, main});
    ShowModel model {main};
    QHash<int, QByteArray> bases;
    QHash<int, QByteArray> marks;
    QJsonObject manifest;

    explicit StageModel(int pageCount, QSize pixelSize = {170, 220})
    {
        QJsonArray pages;
        for (int i = 0; i < pageCount; ++i) {
            QImage image(pixelSize, QImage::Format_Grayscale8);
            image.fill(QColor(0x40 + i, 0x40 + i, 0x40 + i));
            bases.insert(i, png(image));
            pages.append(QJsonObject {{u"index"_s, i}, {u"baseVersion"_s, u"b%1"_s.arg(i)},
                {u"marksVersion"_s, u"m%1"_s.arg(i)}, {u"pixelWidth"_s, pixelSize.width()},
                {u"pixelHeight"_s, pixelSize.height()}});
        }
        QJsonObject score = item(u"song"_s, 7, pageCount);
        score.insert(u"pages"_s, pages);
        manifest = {{u"structureVersion"_s, 1}, {u"score"_s, score}};
        assets->setNetwork([this](qint64, qint64 page, const QString &kind, const QString &version, bool,
                               AssetFetchCompletion completion) {
            const QByteArray data = (kind.startsWith(u"marks") ? marks : bases).value(int(page));
            if (data.isEmpty())
                completion(404, std::nullopt, std::nullopt);
            else
                completion(200, version, data);
        });
        model.setAssets(assets);
        model.requestManifest
            = [this](ShowModel::ManifestAnswer answer) { main.post([this, answer] { answer(manifest); }); };
    }

    // Joins the Host on `hostPage` once the test has chosen its images.
    void join(int hostPage)
    {
        manifest.insert(u"state"_s, QJsonObject {{u"pageIndex"_s, hostPage}});
        model.didJoin();
        model.setPhase(ShowPhase::connecting());
        model.handle(hello(1, hostPage));
        settle();
    }

    // Lets the model, the store and the stage's decoding finish what they have started.
    void settle()
    {
        for (int round = 0; round < 40; ++round) {
            main.advance(0.01);
            QCoreApplication::processEvents();
        }
    }
};

// The show with the page area over it.
struct StageShow : StageModel
{
    DesktopStageView view {main};
    DesktopStageOptions options;

    explicit StageShow(int pageCount, QSize pixelSize = {170, 220})
        : StageModel(pageCount, pixelSize)
    {
        view.resize(600, 400);
        view.show();
    }

    // Applies the model to the stage and waits until the decoded pages are installed.
    bool applyAndWait()
    {
        QSignalSpy installed(&view, &DesktopStageView::pagesInstalled);
        view.apply(&model, options);
        main.runPending();
        return !installed.isEmpty() || installed.wait(5000);
    }
};

} // namespace pgw::test
