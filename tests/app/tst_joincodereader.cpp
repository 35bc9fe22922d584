// SPDX-License-Identifier: GPL-3.0-or-later
#include "QrCodeImage.h"

#include "app/ui/JoinCodeReader.h"

#include <QBuffer>
#include <QPainter>
#include <QTest>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

const QString pinLink = u"pagewright-player://join?host=192.168.1.20&port=7000&pin=4821"_s;
const QString macLink = u"pagewright-player-mac://join?service=Stage%20Left&pin=1234"_s;
const QString webAddress = u"https://example.org/pagewright"_s;

QImage inverted(QImage image)
{
    image.invertPixels();
    return image;
}

// Black modules on nothing at all: transparent pixels store black too.
QImage onTransparent(const QImage &code)
{
    QImage image(code.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    image.setAlphaChannel(inverted(code));
    return image;
}

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(255);
    return image;
}

QImage sideBySide(const QImage &left, const QImage &right)
{
    QImage image(left.width() + right.width(), std::max(left.height(), right.height()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawImage(0, 0, left);
    painter.drawImage(left.width(), 0, right);
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class JoinCodeReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Pictures come as pixels (pasted) or as encoded files, whose header is checked before any decoding.
    void readsTheJoinLinkInAPicture_data()
    {
        QTest::addColumn<QVariant>("picture");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("problem");

        const QImage pinCode = qrCodeImage(pinLink);
        QTest::newRow("PIN") << QVariant(pinCode) << pinLink << QString();
        QTest::newRow("Mac scheme") << QVariant(qrCodeImage(macLink)) << macLink << QString();
        QTest::newRow("light on dark") << QVariant(inverted(pinCode)) << pinLink << QString();
        QTest::newRow("on transparency") << QVariant(onTransparent(pinCode)) << pinLink << QString();
        QTest::newRow("web address first, join link second")
            << QVariant(sideBySide(qrCodeImage(webAddress), qrCodeImage(macLink))) << macLink << QString();
        QTest::newRow("web address") << QVariant(qrCodeImage(webAddress)) << QString()
                                     << JoinCodeReader::notAJoinLink;
        QTest::newRow("no code") << QVariant(blank(QSize(400, 300))) << QString() << JoinCodeReader::noCode;
        QTest::newRow("one pixel over the limit")
            << QVariant(blank(QSize(8001, 5000))) << QString() << JoinCodeReader::tooLarge;
        QTest::newRow("PNG") << QVariant(encoded(pinCode, "PNG")) << pinLink << QString();
        QTest::newRow("JPEG") << QVariant(encoded(qrCodeImage(macLink, 5), "JPEG")) << macLink << QString();
        // Headers that lie: past the limit the pixels are never decoded, at it they are tried and fail.
        QTest::newRow("claims a column over 40 megapixels")
            << QVariant("P5 8001 5000 255\n"_ba) << QString() << JoinCodeReader::tooLarge;
        QTest::newRow("claims 40 megapixels")
            << QVariant("P5 8000 5000 255\n"_ba) << QString() << JoinCodeReader::unreadable;
        QTest::newRow("not a picture") << QVariant("pagewright-player://join?host=h&port=1"_ba) << QString()
                                       << JoinCodeReader::unreadable;
    }

    void readsTheJoinLinkInAPicture()
    {
        QFETCH(QVariant, picture);
        QFETCH(QString, link);
        QFETCH(QString, problem);
        QByteArray bytes = picture.toByteArray();
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const JoinCodeReader::Outcome outcome = picture.typeId() == QMetaType::QImage
            ? JoinCodeReader::read(picture.value<QImage>())
            : JoinCodeReader::read(buffer);
        QCOMPARE(outcome.link.value_or(QUrl()), link.isEmpty() ? QUrl() : QUrl(link));
        QCOMPARE(outcome.problem, problem);
    }

    void acceptsPastedTextThatIsAJoinLink()
    {
        QCOMPARE(JoinCodeReader::joinLink(u"  "_s + pinLink + u"\n"_s).value_or(QUrl()), QUrl(pinLink));
        QVERIFY(!JoinCodeReader::joinLink(webAddress));
    }
};

QTEST_GUILESS_MAIN(JoinCodeReaderTest)
#include "tst_joincodereader.moc"
