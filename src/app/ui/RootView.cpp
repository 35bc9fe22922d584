// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/RootView.h"

#include "app/AppController.h"
#include "app/ui/EndedView.h"
#include "app/ui/LobbyView.h"
#include "app/ui/MyInstrumentsView.h"
#include "app/ui/PlayerPINEntryView.h"
#include "app/ui/Sheets.h"
#include "midi/ui/MIDIPedalSetupView.h"
#include "stage/ui/PageLayoutSettingsView.h"
#include "stage/ui/StageView.h"
#include "stage/ui/ZoomStage.h"

using namespace Qt::StringLiterals;

namespace pgw {

RootView::RootView(Scheduler &main, AppController &controller, QWidget *parent)
    : QStackedWidget(parent)
    , m_controller(controller)
    , m_lobby(new LobbyView(main, controller, this))
    , m_ended(new EndedView(this))
    , m_stage(new StageView(main,
          {controller.model(), controller.settings(), controller.midi(), controller.privateAnnotations(),
              controller.readinessRail()},
          this))
{
    setObjectName(u"root"_s);
    addWidget(m_lobby);
    addWidget(m_ended);
    addWidget(m_stage);

    m_lobby->onInstruments = [this] { presentSheet(new MyInstrumentsView(m_controller.settings(), this)); };
    m_lobby->onPedals = [this] { presentSheet(new MIDIPedalSetupView(m_controller.midi(), this)); };
    m_lobby->onPageLayout
        = [this] { presentSheet(new PageLayoutSettingsView(m_controller.settings(), this)); };
    m_ended->onBackToLobby = [&controller] { controller.backToLobby(); };

    ShowModel &model = controller.model();
    SettingsStore &settings = controller.settings();
    m_stage->onReturnToLive = [&model] { model.returnToLive(); };
    m_stage->onFollowHost = [&model, &settings] {
        model.selectPart(PlayerPartResolver::masterChoice);
        settings.setTurnsPagesLocally(false);
    };
    m_stage->onTogglePageTurns
        = [&settings] { settings.setTurnsPagesLocally(!settings.turnsPagesLocally()); };
    m_stage->onSaveForPractice = [&controller] { controller.saveCurrentShowForPractice(); };
    m_stage->onLeave = [&controller] { controller.backToLobby(); };

    connect(&model, &ShowModel::phaseChanged, this, &RootView::choose);
    connect(&controller, &AppController::pinPromptChanged, this, &RootView::followPINPrompt);
    choose();
}

void RootView::setReducedMotion(bool on)
{
    m_stage->zoomStage()->setReducedMotion(on);
}

void RootView::choose()
{
    const ShowPhase &phase = m_controller.model().phase();
    switch (phase.kind) {
    case ShowPhase::Lobby:
        setCurrentWidget(m_lobby);
        break;
    case ShowPhase::Ended:
        m_ended->setReason(phase.reason);
        setCurrentWidget(m_ended);
        break;
    default:
        setCurrentWidget(m_stage);
        break;
    }
}

void RootView::followPINPrompt()
{
    const auto &prompt = m_controller.pinPrompt();
    if (!prompt) {
        if (m_pinEntry) {
            // Closed by the controller, not by the musician: nothing to cancel.
            m_pinEntry->onCancel = nullptr;
            m_pinEntry->close();
        }
        return;
    }
    if (!m_pinEntry) {
        m_pinEntry = new PlayerPINEntryView(this);
        m_pinEntry->onSubmit = [this](const QString &pin) { m_controller.retryAuthentication(pin); };
        // Closing the screen while the Host still asks leaves the show.
        m_pinEntry->onCancel = [this] {
            if (m_controller.pinPrompt())
                m_controller.backToLobby();
        };
        m_pinEntry->setPrompt(prompt->hostName, prompt->rejected);
        presentSheet(m_pinEntry);
        return;
    }
    m_pinEntry->setPrompt(prompt->hostName, prompt->rejected);
}

} // namespace pgw
