// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace pgw {

// What the Player was started with.
struct LaunchOptions
{
    // Stored as the player's name before anything else happens.
    std::optional<QString> name;
    // Pages as printed, or inverted; inverted wins when both are asked for.
    bool paper = false;
    bool invert = false;
    bool demo = false;
    // With the demo: look one page ahead after five seconds.
    bool peek = false;
    // Opened in order, as join links given by the desktop.
    QList<QUrl> joinLinks;

    bool operator==(const LaunchOptions &) const = default;
};

} // namespace pgw
