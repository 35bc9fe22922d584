// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"
#include "link/PlayerJoinLink.h"

#include <QLoggingCategory>
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
        const QString secretBase32 = u"mfrggzdfmztwq2lknnwg23tpob"_s;
        const QString query = u"?host=127.0.0.1&port=7000&pin=284617&k="_s + secretBase32;
        QCOMPARE(
            PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://join"_s + query))->key, linkSecret);
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://elsewhere"_s + query)));
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://join"_s + query + u"AB"_s))->key);
        // Sealed with the link's secret, a plain frame after sealed ones is refused; a wrong PIN is
        // rejected, then the right one is accepted.
        Harness link, pin;
        link.play(u"join:key key:link accept hello plain:hello next accept"_s);
        pin.play(u"join:730519 key:730519 accept plain:auth:rejected retry:284617 key:284617 accept hello"_s);
        QVERIFY(pin.take().endsWith(u"connected auth:accepted sealed msg:hello"_s));

        // The runs were logged, refusals included, so the search below has something to search.
        QCOMPARE(count(QtWarningMsg, "pgw.link"_L1, u"rejected the PIN"_s), 1);
        QCOMPARE(count(QtWarningMsg, "pgw.link"_L1, u"Cutting off"_s), 1);
        QVERIFY(count(QtDebugMsg, "pgw.link"_L1, u"frame"_s) > 0);

        QStringList secrets {u"730519"_s, u"284617"_s, secretBase32, QString::fromLatin1(linkSecret)};
        for (const auto &stream : link.network.streams + pin.network.streams) {
            for (const QByteArray &key : {stream->hostKeyMaterial.value_or(QByteArray()),
                     stream->host.channel() ? stream->host.channel()->key() : QByteArray()}) {
                secrets << QString::fromLatin1(key.toHex()) << QString::fromLatin1(key.toBase64())
                        << QString::fromLatin1(
                               key.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            }
        }
        secrets.removeAll(QString());
        for (const Message &message : std::as_const(captured)) {
            for (const QString &secret : std::as_const(secrets))
                QVERIFY2(!message.text.contains(secret, Qt::CaseInsensitive), qPrintable(message.text));
        }
    }
};

QTEST_GUILESS_MAIN(LoggingTest)
#include "tst_logging.moc"
