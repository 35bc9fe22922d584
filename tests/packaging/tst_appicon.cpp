// SPDX-License-Identifier: GPL-3.0-or-later
#include <QIcon>
#include <QImage>
#include <QtTest>

using namespace Qt::StringLiterals;

// The window icon is compiled into pagewright_ui; the SVG needs Qt's SVG icon engine at run time.
class AppIconTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iconsRender()
    {
        const QImage image = QIcon(u":/icons/pagewright-player.svg"_s).pixmap(QSize(64, 64)).toImage();
        QCOMPARE(image.size(), QSize(64, 64));
        // The centre of the page is light, the corner outside the rounded square transparent.
        QVERIFY(qGray(image.pixel(32, 30)) > 200);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(QImage(u":/icons/pagewright-player-256.png"_s).size(), QSize(256, 256));
    }
};

QTEST_MAIN(AppIconTest)
#include "tst_appicon.moc"
