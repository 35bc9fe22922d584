// SPDX-License-Identifier: GPL-3.0-or-later
#include "QrCodeImage.h"

#include "HostSimulator.h"
#include "app/ui/JoinCodeReader.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

const QString pinLink = u"pagewright-player://join?host=192.168.1.20&port=7000&pin=4821"_s;
const QString secretLink
    = u"pagewright-player://join?host=stage.local&port=7000&k="_s + hostsim::base32(QByteArray(16, '\x5a'));
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
    QImage image = code.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qGray(line[x]) > 127 ? qRgba(0, 0, 0, 0) : qRgba(0, 0, 0, 255);
    }
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

quint32 crc32(QByteArrayView bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A tiny gray PNG whose header claims `size`: its pixels could never fill it.
QByteArray pngClaiming(QSize size)
{
    QImage tiny(8, 8, QImage::Format_Grayscale8);
    tiny.fill(255);
    QByteArray png = encoded(tiny, "PNG");
    // The signature, then IHDR's length and type; its width and height, and its CRC after 13 bytes.
    qToBigEndian(quint32(size.width()), png.data() + 16);
    qToBigEndian(quint32(size.height()), png.data() + 20);
    qToBigEndian(crc32(QByteArrayView(png).sliced(12, 17)), png.data() + 29);
    return png;
}

} // namespace

class JoinCodeReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheJoinLinkInAPicture_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("problem");

        const QImage pinCode = qrCodeImage(pinLink);
        QTest::newRow("PIN") << pinCode << pinLink << QString();
        QTest::newRow("link secret") << qrCodeImage(secretLink) << secretLink << QString();
        QTest::newRow("Mac scheme") << qrCodeImage(macLink) << macLink << QString();
        QTest::newRow("light on dark") << inverted(pinCode) << pinLink << QString();
        QTest::newRow("on transparency") << onTransparent(pinCode) << pinLink << QString();
        QTest::newRow("web address first, join link second")
            << sideBySide(qrCodeImage(webAddress), qrCodeImage(macLink)) << macLink << QString();
        QTest::newRow("web address") << qrCodeImage(webAddress) << QString() << JoinCodeReader::notAJoinLink;
        QTest::newRow("no code") << blank(QSize(400, 300)) << QString() << JoinCodeReader::noCode;
        QTest::newRow("one pixel over the limit")
            << blank(QSize(8001, 5000)) << QString() << JoinCodeReader::tooLarge;
    }

    void readsTheJoinLinkInAPicture()
    {
        QFETCH(QImage, picture);
        QFETCH(QString, link);
        QFETCH(QString, problem);
        QVERIFY(!picture.isNull());
        const JoinCodeReader::Outcome outcome = JoinCodeReader::read(picture);
        QCOMPARE(outcome.link.value_or(QUrl()), link.isEmpty() ? QUrl() : QUrl(link));
        QCOMPARE(outcome.problem, problem);
    }

    void checksAnEncodedPictureBeforeDecodingIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("problem");

        QTest::newRow("PNG") << encoded(qrCodeImage(pinLink), "PNG") << pinLink << QString();
        QTest::newRow("JPEG") << encoded(qrCodeImage(macLink, 5), "JPEG") << macLink << QString();
        // Headers that lie: past the limit the pixels are never decoded, at it they are tried and fail.
        QTest::newRow("claims one pixel over 40 megapixels")
            << pngClaiming(QSize(40001, 1000)) << QString() << JoinCodeReader::tooLarge;
        QTest::newRow("claims 40 megapixels")
            << pngClaiming(QSize(8000, 5000)) << QString() << JoinCodeReader::unreadable;
        QTest::newRow("not a picture")
            << "pagewright-player://join?host=h&port=1"_ba << QString() << JoinCodeReader::unreadable;
    }

    void checksAnEncodedPictureBeforeDecodingIt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, link);
        QFETCH(QString, problem);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const JoinCodeReader::Outcome outcome = JoinCodeReader::read(buffer);
        QCOMPARE(outcome.link.value_or(QUrl()), link.isEmpty() ? QUrl() : QUrl(link));
        QCOMPARE(outcome.problem, problem);
    }

    void acceptsPastedTextThatIsAJoinLink_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");

        QTest::newRow("with white space around") << u"  "_s + pinLink + u"\n"_s << pinLink;
        QTest::newRow("web address") << webAddress << QString();
        QTest::newRow("neither host nor service") << u"pagewright-player://join?pin=1234"_s << QString();
    }

    void acceptsPastedTextThatIsAJoinLink()
    {
        QFETCH(QString, text);
        QFETCH(QString, link);
        QCOMPARE(JoinCodeReader::joinLink(text).value_or(QUrl()), link.isEmpty() ? QUrl() : QUrl(link));
    }
};

QTEST_GUILESS_MAIN(JoinCodeReaderTest)
#include "tst_joincodereader.moc"
