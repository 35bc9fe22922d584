// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace pgw {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so the Player shuts down
// through its normal path instead of dying mid-write.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void terminationRequested();

private:
    static void handle(int signal);
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace pgw
