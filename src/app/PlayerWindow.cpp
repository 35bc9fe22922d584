#include "app/PlayerWindow.h"

#include "app/AppController.h"
#include "app/DesktopMotionPreference.h"
#include "stage/ui/StageView.h"
#include "stage/ui/ZoomStage.h"

#include <QLabel>
#include <QPalette>
#include <QStackedWidget>

using namespace Qt::StringLiterals;

namespace pgw {

PlayerWindow::PlayerWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_screens(new QStackedWidget(this))
{
    setWindowTitle(u"Pagewright Player"_s);
    setMinimumSize(minimumContentSize);
    resize(contentSize);

    // The stand is dark so it does not glare on stage.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x12, 0x12, 0x14));
    dark.setColor(QPalette::WindowText, QColor(0xd8, 0xd8, 0xdc));
    setPalette(dark);
    setAutoFillBackground(true);

    auto *placeholder = new QLabel(u"Pagewright Player"_s, this);
    placeholder->setObjectName(u"placeholder"_s);
    placeholder->setAlignment(Qt::AlignCenter);
    m_screens->addWidget(placeholder);
    setCentralWidget(m_screens);
}

void PlayerWindow::attach(AppController &controller, Scheduler &main)
{
    ShowModel &model = controller.model();
    SettingsStore &settings = controller.settings();
    m_stage = new StageView(main,
        {model, settings, controller.midi(), controller.privateAnnotations(), controller.readinessRail()},
        this);
    m_stage->onReturnToLive = [&model] { model.returnToLive(); };
    m_stage->onFollowHost = [&model, &settings] {
        model.selectPart(PlayerPartResolver::masterChoice);
        settings.setTurnsPagesLocally(false);
    };
    m_stage->onTogglePageTurns
        = [&settings] { settings.setTurnsPagesLocally(!settings.turnsPagesLocally()); };
    m_stage->onSaveForPractice = [&controller] { controller.saveCurrentShowForPractice(); };
    m_stage->onLeave = [&controller] { controller.backToLobby(); };
    m_screens->addWidget(m_stage);

    auto *motion = new DesktopMotionPreference(this);
    const auto followMotion = [this, motion] { m_stage->zoomStage()->setReducedMotion(motion->reduced()); };
    connect(motion, &DesktopMotionPreference::reducedChanged, this, followMotion);
    followMotion();

    const auto choose = [this, &model] {
        const ShowPhase::Kind phase = model.phase().kind;
        const bool showRuns = phase != ShowPhase::Lobby && phase != ShowPhase::Ended;
        m_screens->setCurrentWidget(showRuns ? static_cast<QWidget *>(m_stage) : m_screens->widget(0));
    };
    connect(&model, &ShowModel::phaseChanged, this, choose);
    choose();
}

} // namespace pgw
