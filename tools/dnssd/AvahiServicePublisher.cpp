// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvahiServicePublisher.h"

#include "link/AvahiQtPoll.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>

namespace pgw {

struct AvahiServicePublisher::Private
{
    AvahiServicePublisher *owner = nullptr;
    QByteArray name;
    QByteArray type;
    quint16 port = 0;
    QList<QByteArray> txt;
    AvahiQtPoll poll;
    AvahiClient *client = nullptr;
    AvahiEntryGroup *group = nullptr;

    void report(bool established, const QString &error = {})
    {
        if (owner->onStateChanged)
            owner->onStateChanged(established, error);
    }

    void addService(AvahiClient *c)
    {
        if (!group)
            group = avahi_entry_group_new(c, &Private::groupChanged, this);
        if (!group) {
            report(false, QString::fromUtf8(avahi_strerror(avahi_client_errno(c))));
            return;
        }
        AvahiStringList *list = nullptr;
        for (const QByteArray &entry : std::as_const(txt))
            list = avahi_string_list_add_arbitrary(
                list, reinterpret_cast<const uint8_t *>(entry.constData()), size_t(entry.size()));
        const int error = avahi_entry_group_add_service_strlst(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
            AvahiPublishFlags(0), name.constData(), type.constData(), nullptr, nullptr, port, list);
        avahi_string_list_free(list);
        if (error < 0 || avahi_entry_group_commit(group) < 0)
            report(false, QString::fromUtf8(avahi_strerror(error < 0 ? error : avahi_client_errno(c))));
    }

    static void groupChanged(AvahiEntryGroup *, AvahiEntryGroupState state, void *userdata)
    {
        auto *self = static_cast<Private *>(userdata);
        if (state == AVAHI_ENTRY_GROUP_ESTABLISHED)
            self->report(true);
        else if (state == AVAHI_ENTRY_GROUP_COLLISION)
            self->report(false, QStringLiteral("the name is taken on this network"));
        else if (state == AVAHI_ENTRY_GROUP_FAILURE)
            self->report(false, QStringLiteral("publishing failed"));
    }

    static void clientChanged(AvahiClient *c, AvahiClientState state, void *userdata)
    {
        auto *self = static_cast<Private *>(userdata);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->addService(c);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            if (self->group)
                avahi_entry_group_reset(self->group);
            break;
        case AVAHI_CLIENT_FAILURE:
        case AVAHI_CLIENT_CONNECTING:
            // The daemon went away; its groups are gone with it. NO_FAIL reconnects by itself.
            self->group = nullptr;
            self->report(false, QStringLiteral("avahi-daemon is not available"));
            break;
        }
    }
};

AvahiServicePublisher::AvahiServicePublisher(
    const QString &name, const QString &type, quint16 port, const QList<QByteArray> &txt)
    : d(std::make_unique<Private>())
{
    d->owner = this;
    d->name = name.toUtf8();
    d->type = type.toUtf8();
    d->port = port;
    d->txt = txt;
    int error = 0;
    d->client
        = avahi_client_new(d->poll.api(), AVAHI_CLIENT_NO_FAIL, &Private::clientChanged, d.get(), &error);
}

AvahiServicePublisher::~AvahiServicePublisher()
{
    // Freeing the client withdraws the group's records.
    if (d->client)
        avahi_client_free(d->client);
}

} // namespace pgw
