// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QUrl>

#include <memory>

namespace pgw {

class AppController;
class DefaultsStore;
class PlayerWindow;
class Scheduler;

// The desktop shell around the controller: the window, the arrow keys that turn pages wherever the
// keyboard is, and the application's activation reported as the scene phase.
class PlayerDesktopApplication : public QObject
{
    Q_OBJECT

public:
    PlayerDesktopApplication(
        Scheduler &main, AppController &controller, DefaultsStore &defaults, QObject *parent = nullptr);
    ~PlayerDesktopApplication() override;

    PlayerWindow &window() const { return *m_window; }
    // Shows the window and, on the next turn of the event loop, opens the join links the Player was
    // started with and starts MIDI and browsing.
    void launch(const QList<QUrl> &joinLinks = {});
    // Join links from the desktop (or a second launch): the window comes to the front, the links are
    // opened in order.
    void openLinks(const QList<QUrl> &joinLinks);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Scheduler &m_main;
    AppController &m_controller;
    std::unique_ptr<PlayerWindow> m_window;
};

} // namespace pgw
