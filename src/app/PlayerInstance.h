// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QUrl>

#include <memory>

class QLocalServer;
class QLocalSocket;

namespace pgw {

// One Player per user. The first launch holds the data directory's lock and listens on a local socket in
// the user's runtime directory; a later launch hands its join links (and a request to show the window)
// to it and ends. A socket left by a Player that crashed is replaced.
class PlayerInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxMessageBytes = 64 * 1024;

    PlayerInstance(const QString &socketPath, const QString &lockPath, QObject *parent = nullptr);
    ~PlayerInstance() override;

    // The socket and lock a user's Player uses.
    static QString defaultSocketPath();
    static QString lockPathIn(const QString &dataDirectory);

    // True when a running Player took the links (an empty list still asks it to show its window).
    bool handOff(const QList<QUrl> &links);
    // True when this process may open the data directory: no other Player holds it.
    bool lockDataDirectory();
    // Starts answering later launches; call once the data directory is locked.
    bool serve();

Q_SIGNALS:
    // Another launch asked for the window, with the join links it was given.
    void activated(const QList<QUrl> &links);

private:
    void readFrom(QLocalSocket *socket);

    QString m_socketPath;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace pgw
