// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ui/PlayerPINEntryView.h"
#include "support/Scheduler.h"

#include <QPointer>
#include <QStackedWidget>

namespace pgw {

class AppController;
class EndedView;
class LobbyView;

class StageView;

// The window's content: the lobby, the ended screen or the stage, as the show's phase says, with the PIN
// screen over whichever is shown while the Host asks for a PIN.
class RootView : public QStackedWidget
{
    Q_OBJECT

public:
    RootView(Scheduler &main, AppController &controller, QWidget *parent = nullptr);

    LobbyView *lobby() const { return m_lobby; }
    EndedView *ended() const { return m_ended; }
    StageView *stage() const { return m_stage; }
    PlayerPINEntryView *pinEntry() const { return m_pinEntry; }

    void setReducedMotion(bool on);

private:
    void choose();
    void followPINPrompt();

    AppController &m_controller;
    LobbyView *m_lobby;
    EndedView *m_ended;
    StageView *m_stage;
    QPointer<PlayerPINEntryView> m_pinEntry;
};

} // namespace pgw
