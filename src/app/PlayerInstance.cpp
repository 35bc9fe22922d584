// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerInstance.h"

#include "app/AppLogging.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

constexpr int answerMilliseconds = 2000;
const QByteArray acknowledgement = "ok\n";

} // namespace

PlayerInstance::PlayerInstance(const QString &socketPath, const QString &lockPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(socketPath)
    , m_lock(lockPath)
{
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

PlayerInstance::~PlayerInstance() = default;

QString PlayerInstance::defaultSocketPath()
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return QDir(runtime).filePath(u"pagewright-player.socket"_s);
}

QString PlayerInstance::lockPathIn(const QString &dataDirectory)
{
    QDir().mkpath(dataDirectory);
    return QDir(dataDirectory).filePath(u"pagewright-player.lock"_s);
}

bool PlayerInstance::handOff(const QList<QUrl> &links)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(answerMilliseconds))
        return false;
    QJsonArray list;
    for (const QUrl &link : links)
        list.append(link.toString());
    socket.write(QJsonDocument(QJsonObject {{u"links"_s, list}}).toJson(QJsonDocument::Compact) + '\n');
    if (!socket.waitForBytesWritten(answerMilliseconds))
        return false;
    // Done only once the running Player confirms, so no link is lost to a Player that is closing.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerMilliseconds))
            return false;
    }
    return socket.readLine() == acknowledgement;
}

bool PlayerInstance::lockDataDirectory()
{
    return m_lock.isLocked() || m_lock.tryLock(0);
}

bool PlayerInstance::serve()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whoever left a socket behind is gone: this process holds the lock.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qCWarning(pgwApp) << "cannot listen for later launches:" << m_server->errorString();
        return false;
    }
    qCInfo(pgwApp) << "ready for join links from later launches";
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            readFrom(socket);
        }
    });
    return true;
}

void PlayerInstance::readFrom(QLocalSocket *socket)
{
    if (socket->bytesAvailable() > maxMessageBytes) {
        socket->abort();
        return;
    }
    if (!socket->canReadLine())
        return;
    const QJsonDocument message = QJsonDocument::fromJson(socket->readLine());
    QList<QUrl> links;
    for (const QJsonValue &link : message.object().value(u"links"_s).toArray()) {
        if (link.isString())
            links.append(QUrl(link.toString()));
    }
    socket->write(acknowledgement);
    socket->disconnectFromServer();
    qCInfo(pgwApp) << "the window is asked for, with" << links.size() << "join links";
    Q_EMIT activated(links);
}

} // namespace pgw
