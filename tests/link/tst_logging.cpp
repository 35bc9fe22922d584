// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"
#include "TestSupport.h"
#include "annotations/PrivateAnnotationStore.h"
#include "link/PlayerJoinLink.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

namespace {

struct Message
{
    QtMsgType type;
    QString category;
    QString text;
};

// Every message of the Player's categories, debug included, while a test runs.
QList<Message> captured;
QtMessageHandler previousHandler = nullptr;

qsizetype count(QtMsgType type, QLatin1StringView category, const QString &fragment)
{
    return std::count_if(captured.cbegin(), captured.cend(), [&](const Message &message) {
        return message.type == type && message.category == category && message.text.contains(fragment);
    });
}

const QString wrongPIN = u"730519"_s;
const QString rightPIN = u"284617"_s;
const QByteArray secret = "Tr0mb0ne-S3cret!";
const QString secretBase32 = u"KRZDA3LCGBXGKLKTGNRXEZLUEE"_s;

} // namespace

class LoggingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        captured.clear();
        QLoggingCategory::setFilterRules(u"pgw.*=true"_s);
        previousHandler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                captured.append({type, QString::fromLatin1(context.category), text});
            });
    }

    void cleanup()
    {
        qInstallMessageHandler(previousHandler);
        QLoggingCategory::setFilterRules({});
    }

    void joinsNeverLogPINsSecretsOrKeys()
    {
        QList<QByteArray> keys {secret};
        const QString query = u"?host=127.0.0.1&port=7000&pin="_s + rightPIN + u"&k="_s + secretBase32;
        const auto linked = PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://join"_s + query));
        QCOMPARE(linked->key, secret);
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://elsewhere"_s + query)));
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://join"_s + query + u"AB"_s))->key);
        {
            // Sealed with the link's secret; a plain frame after sealed ones and a box out of sequence
            // are refused.
            Harness h;
            auto control = h.join(linked->pin, linked->key, true, linked->endpoint);
            control->hostKeyMaterial = secret;
            auto assets = h.accept(control);
            keys << control->host.channel()->key() << assets->host.channel()->key();
            control->reply(hello());
            h.tell(control, hello(), true);
            QVERIFY(control->cancelled());
            auto next = h.nextDial();
            h.accept(next);
            keys << next->host.channel()->key();
            next->host.message(hello()); // sealed and never delivered
            h.tell(next, hello());
            QVERIFY(next->cancelled());
        }
        {
            // A wrong PIN is rejected, then the right one is accepted.
            Harness h;
            auto control = h.join(wrongPIN, {}, true);
            control->hostKeyMaterial = PlayerCrypto::ikmForJoinPIN(wrongPIN);
            auto assets = h.accept(control);
            keys << *control->hostKeyMaterial << control->host.channel()->key()
                 << assets->host.channel()->key();
            h.tell(control, auth("rejected"), true);
            h.connection->retryAuthentication(rightPIN);
            h.run();
            auto retry = h.network.last();
            retry->hostKeyMaterial = PlayerCrypto::ikmForJoinPIN(rightPIN);
            h.greet(retry);
            keys << *retry->hostKeyMaterial << retry->host.channel()->key();
            QVERIFY(h.log.contains(u"connected"_s));
        }

        // The runs were logged, refusals included, so the search below has something to search.
        QCOMPARE(count(QtWarningMsg, "pgw.link"_L1, u"rejected the PIN"_s), 1);
        QCOMPARE(count(QtWarningMsg, "pgw.link"_L1, u"Cutting off"_s), 2);
        QVERIFY(count(QtDebugMsg, "pgw.link"_L1, u"frame"_s) > 0);

        QStringList secrets {wrongPIN, rightPIN, secretBase32, QString::fromLatin1(secret)};
        for (const QByteArray &key : std::as_const(keys)) {
            secrets << QString::fromLatin1(key.toHex()) << QString::fromLatin1(key.toBase64())
                    << QString::fromLatin1(
                           key.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        }
        for (const Message &message : std::as_const(captured)) {
            for (const QString &secret : std::as_const(secrets))
                QVERIFY2(!message.text.contains(secret, Qt::CaseInsensitive), qPrintable(message.text));
        }
    }

    void reconnectLadderLogsOnlyItsClimbAtInfo()
    {
        Harness h;
        auto control = h.join();
        for (int drop = 0; drop < 10; ++drop) {
            control->drop();
            h.run();
            control = h.nextDial();
        }
        const qsizetype climb = qsizetype(PlayerConnection::ladder.size()) + 1;
        QCOMPARE(count(QtInfoMsg, "pgw.link"_L1, u"Reconnecting"_s), climb);
        QCOMPARE(count(QtDebugMsg, "pgw.link"_L1, u"Reconnecting"_s), 10 - climb);
    }

    void annotationWriteFailureIsLoggedUnderFiles()
    {
        QTemporaryDir dir;
        // A regular file where the folder should be: no folder can be made, whoever runs the test.
        test::writeFile(dir.filePath(u"blocker"_s), "x");
        const QString path = dir.filePath(u"blocker/annotations.json"_s);
        PrivateAnnotationStore store(path);
        const PrivateAnnotationStroke stroke {QUuid::createUuid(), {}, {{0.2, 0.2, 1.0}, {0.3, 0.2, 1.0}}};
        QVERIFY(!store.addStroke(stroke, {u"score|base:v1"_s, 0}));
        QCOMPARE(count(QtWarningMsg, "pgw.files"_L1, path), 1);
    }
};

QTEST_GUILESS_MAIN(LoggingTest)
#include "tst_logging.moc"
