// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace pgw {

// Publishes one DNS-SD service through avahi-daemon and withdraws it when destroyed. Keeps trying
// while the daemon is away and publishes again when it returns. Use on a thread with an event loop.
class AvahiServicePublisher
{
public:
    AvahiServicePublisher(
        const QString &name, const QString &type, quint16 port, const QList<QByteArray> &txt);
    ~AvahiServicePublisher();

    // Called with true once the service is established, false when it was lost or could not be added.
    std::function<void(bool established, const QString &error)> onStateChanged;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace pgw
