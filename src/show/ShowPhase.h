// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace pgw {

// The session phase; `reason` is set only when ended.
struct ShowPhase
{
    enum Kind { Ended, Lobby, Connecting, Live, Peek, Offline };

    Kind kind = Lobby;
    QString reason;

    static ShowPhase ended(const QString &reason) { return {Ended, reason}; }
    static ShowPhase lobby() { return {Lobby, {}}; }
    static ShowPhase connecting() { return {Connecting, {}}; }
    static ShowPhase live() { return {Live, {}}; }
    static ShowPhase peek() { return {Peek, {}}; }
    static ShowPhase offline() { return {Offline, {}}; }

    bool is(Kind k) const { return kind == k; }
    bool operator==(const ShowPhase &) const = default;
};

} // namespace pgw

Q_DECLARE_METATYPE(pgw::ShowPhase)
