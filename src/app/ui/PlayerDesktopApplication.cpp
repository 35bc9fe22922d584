// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PlayerDesktopApplication.h"

#include "app/AppController.h"
#include "app/AppLogging.h"
#include "app/DesktopMotionPreference.h"
#include "app/ui/PlayerWindow.h"
#include "app/ui/RootView.h"
#include "stage/ui/KeyboardFocus.h"

#include <QApplication>
#include <QKeyEvent>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace pgw {

PlayerDesktopApplication::PlayerDesktopApplication(
    Scheduler &main, AppController &controller, DefaultsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_main(main)
    , m_controller(controller)
    , m_window(std::make_unique<PlayerWindow>(main, controller, defaults))
{
    auto *motion = new DesktopMotionPreference(this);
    const auto followMotion = [this, motion] { m_window->root()->setReducedMotion(motion->reduced()); };
    connect(motion, &DesktopMotionPreference::reducedChanged, this, followMotion);
    followMotion();

    connect(qApp, &QGuiApplication::applicationStateChanged, &controller,
        [&controller](Qt::ApplicationState state) {
            switch (state) {
            case Qt::ApplicationActive:
                controller.scenePhaseChanged(AppController::ScenePhase::Active);
                break;
            case Qt::ApplicationInactive:
                controller.scenePhaseChanged(AppController::ScenePhase::Inactive);
                break;
            case Qt::ApplicationHidden:
            case Qt::ApplicationSuspended:
                controller.scenePhaseChanged(AppController::ScenePhase::Background);
                break;
            }
        });
    qApp->installEventFilter(this);
}

PlayerDesktopApplication::~PlayerDesktopApplication()
{
    qApp->removeEventFilter(this);
}

void PlayerDesktopApplication::launch(const QList<QUrl> &joinLinks)
{
    m_window->present();
    m_main.post([self = QPointer(this), joinLinks] {
        if (self)
            self->openLinks(joinLinks);
    });
}

void PlayerDesktopApplication::openLinks(const QList<QUrl> &joinLinks)
{
    m_window->present();
    for (const QUrl &link : joinLinks) {
        // Where it leads, never what it carries: a link may hold the Host's PIN or secret.
        const QUrlQuery query(link);
        qCInfo(pgwApp).noquote() << "opening a join link to"
                                 << query.queryItemValue(u"host"_s) + u':' + query.queryItemValue(u"port"_s);
        m_controller.handleDeepLink(link);
    }
    m_controller.start();
}

bool PlayerDesktopApplication::eventFilter(QObject *watched, QEvent *event)
{
    // Left and right turn pages wherever the keyboard is, except in text, in a dialog, and where there is
    // no show to turn.
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->key() != Qt::Key_Left && key->key() != Qt::Key_Right) || key->isAutoRepeat()
        || key->modifiers() != Qt::NoModifier)
        return false;
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QTextEdit *>(focus)
        || qobject_cast<QPlainTextEdit *>(focus) || QApplication::activeModalWidget())
        return false;
    const ShowPhase::Kind phase = m_controller.model().phase().kind;
    if (phase == ShowPhase::Lobby || phase == ShowPhase::Ended)
        return false;
    m_controller.model().turnLocally(key->key() == Qt::Key_Left ? -1 : 1);
    return true;
}

} // namespace pgw
