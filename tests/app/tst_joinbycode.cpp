// SPDX-License-Identifier: GPL-3.0-or-later
#include "LivePlayer.h"
#include "QrCodeImage.h"

#include "app/ui/JoinLinkDialog.h"
#include "app/ui/LobbyView.h"
#include "support/DefaultsKeys.h"

#include <QApplication>
#include <QCameraDevice>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMediaDevices>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QVideoFrame>
#include <QVideoSink>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

// Qt Multimedia's PulseAudio side leaks its context when no sound server answers, as on CI; the leak
// checker would otherwise fail every run that lists cameras.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libpulse.so\n";
}

namespace {

constexpr int waitMs = 15000;

bool lists(QWidget &lobby, const QString &name)
{
    const QAbstractItemModel *hosts = lobby.findChild<QListView *>(u"host-list"_s)->model();
    return !hosts->match(hosts->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly).isEmpty();
}

QVideoFrame frameOf(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QVideoFrame frame(
        QVideoFrameFormat(image.size(), QVideoFrameFormat::pixelFormatFromImageFormat(image.format())));
    frame.map(QVideoFrame::WriteOnly);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0), image.constScanLine(y), image.width() * 4);
    frame.unmap();
    return frame;
}

void drop(QWidget &target, const QMimeData &data)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &dropped);
}

} // namespace

class JoinByCodeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pastingAPictureOfTheCodeListsTheHostAndJoinsWithItsPin()
    {
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        MemoryDefaultsStore defaults;
        defaults.setValue(DefaultsKeys::playerName, u"Jo"_s);
        LivePlayer player(nullptr, &defaults);
        LobbyView lobby(player.main, *player.controller);
        lobby.show();
        QVERIFY(QTest::qWaitForWindowActive(&lobby));
        // Where the keyboard usually is; the field takes names, not pictures.
        auto *name = lobby.findChild<QLineEdit *>(u"player-name"_s);
        name->setFocus();

        QGuiApplication::clipboard()->setImage(qrCodeImage(host.joinLink()));
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(lobby.findChild<JoinLinkDialog *>());
        QTRY_VERIFY_WITH_TIMEOUT(lists(lobby, u"127.0.0.1"_s), waitMs);
        QTRY_VERIFY(!lobby.findChild<JoinLinkDialog *>());
        QCOMPARE(lobby.selectedHost()->id, u"link:127.0.0.1:"_s + QString::number(host.port()));
        QTRY_COMPARE_WITH_TIMEOUT(player.controller->model().phase(), ShowPhase::live(), waitMs);
        QCOMPARE(host.greetedPlayers(), 1);
    }

    void theDialogReadsTypedDroppedAndFiledLinksAndOnlyJoinLinks()
    {
        ManualController app;
        LobbyView lobby(app.scheduler, *app);
        lobby.show();
        QVERIFY(QTest::qWaitForWindowActive(&lobby));

        // The name field keeps its own paste.
        auto *name = lobby.findChild<QLineEdit *>(u"player-name"_s);
        name->setFocus();
        QGuiApplication::clipboard()->setText(u"Jo"_s);
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(name->text(), u"Jo"_s);
        QVERIFY(!lobby.findChild<JoinLinkDialog *>());

        QTest::keyClick(name, Qt::Key_L, Qt::ControlModifier);
        auto *dialog = lobby.findChild<JoinLinkDialog *>();
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QPushButton *>(u"join-link-scan"_s)->isEnabled(),
            !QMediaDevices::videoInputs().isEmpty());

        auto *status = dialog->findChild<QLabel *>(u"join-status"_s);
        auto *field = dialog->findChild<QLineEdit *>(u"join-link-field"_s);
        QTest::keyClicks(field, u"example.org"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(status->text(), JoinCodeReader::notALinkText);
        const QImage webCode = qrCodeImage(u"https://example.org/"_s);
        QGuiApplication::clipboard()->setImage(webCode);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(status->text(), JoinCodeReader::notAJoinLink);
        QMimeData words;
        words.setText(u"see you at eight"_s);
        drop(*dialog, words);
        QCOMPARE(status->text(), JoinCodeReader::notALinkText);
        QVERIFY(app->hosts().isEmpty());
        QVERIFY(dialog->isVisible());

        // Camera frames: one decoded at a time and a few a second, the rest only shown. The answer to a
        // decode comes through the event loop, so the frames given meanwhile find it still in flight.
        auto *sink = dialog->findChild<QVideoSink *>();
        const QImage joinCode = qrCodeImage(u"pagewright-player://join?host=10.0.0.5&port=7000"_s);
        const auto show = [&](const QImage &code) { sink->setVideoFrame(frameOf(code)); };
        // Every decode started has answered once the pool is idle and its answers are delivered.
        const auto nothingJoined = [&] {
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
            return app->hosts().isEmpty();
        };
        show(webCode);
        app.scheduler.advance(JoinLinkDialog::scanInterval);
        show(joinCode);
        QTRY_COMPARE(status->text(), JoinCodeReader::notAJoinLink);
        QVERIFY(nothingJoined());
        status->clear();
        show(webCode);
        QTRY_COMPARE(status->text(), JoinCodeReader::notAJoinLink);
        show(joinCode);
        QVERIFY(nothingJoined());
        app.scheduler.advance(JoinLinkDialog::scanInterval);
        show(joinCode);
        QTRY_VERIFY(lists(lobby, u"10.0.0.5"_s));
        QTRY_VERIFY(!lobby.findChild<JoinLinkDialog *>());

        // A picture file dropped on the lobby.
        QTemporaryDir folder;
        const QString path = folder.filePath(u"code.png"_s);
        QVERIFY(qrCodeImage(u"pagewright-player-mac://join?service=Stage%20Left&pin=1234"_s).save(path));
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(path)});
        drop(lobby, file);
        QTRY_VERIFY(lists(lobby, u"Stage Left"_s));
        QCOMPARE(lobby.selectedHost()->pin, u"1234"_s);
    }
};

QTEST_MAIN(JoinByCodeTest)
#include "tst_joinbycode.moc"
