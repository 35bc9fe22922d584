// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTextStream>

class QSocketNotifier;

namespace pgw::hostsim {

class HostSimulator;

// Reads commands for a simulator from standard input, one per line, and prints what happens.
class SimConsole : public QObject
{
    Q_OBJECT

public:
    explicit SimConsole(HostSimulator &simulator, QObject *parent = nullptr);

    // Runs one command line; false for an unknown or malformed command.
    bool execute(const QString &line);
    static QString help();

private:
    void readInput();
    void print(const QString &line);

    HostSimulator &m_simulator;
    QSocketNotifier *m_notifier;
    QByteArray m_pending;
    QTextStream m_out;
    int m_page = 0;
    int m_item = 0;
};

} // namespace pgw::hostsim
