// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/LaunchOptions.h"

#include <QStringList>

namespace pgw {

// The Player's command line: "--name NAME", "--paper", "--invert", "--demo", "--peek", "--help",
// "--version", and join links as positional arguments. Qt's own window-system options pass through.
struct PlayerCommandLine
{
    enum class Action { Run, Help, Version, Error };

    Action action = Action::Run;
    LaunchOptions options;
    // The help or version text, or what is wrong with the command line.
    QString text;

    // Needs an application object for the program's name and version.
    static PlayerCommandLine parse(const QStringList &arguments);
};

} // namespace pgw
