// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

namespace pgw {

class AppController;
class DefaultsStore;
class RootView;
class Scheduler;

// The Player's single window: the root view, the View menu, full screen, and its place on the desktop
// remembered between runs.
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize contentSize {1180, 820};
    static constexpr QSize minimumContentSize {680, 480};
    static inline const QString geometryKey = QStringLiteral("PagewrightPlayerWindow");

    PlayerWindow(
        Scheduler &main, AppController &controller, DefaultsStore &defaults, QWidget *parent = nullptr);

    RootView *root() const { return m_root; }
    // Shows the window, brings it back from the dock or another desktop and to the front.
    void present();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus(AppController &controller);

    DefaultsStore &m_defaults;
    RootView *m_root;
};

} // namespace pgw
