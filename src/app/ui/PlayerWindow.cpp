// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PlayerWindow.h"

#include "app/AppController.h"
#include "app/ui/RootView.h"
#include "support/DefaultsStore.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace pgw {

PlayerWindow::PlayerWindow(
    Scheduler &main, AppController &controller, DefaultsStore &defaults, QWidget *parent)
    : QMainWindow(parent)
    , m_defaults(defaults)
    , m_root(new RootView(main, controller, this))
{
    setObjectName(u"player-window"_s);
    setWindowTitle(u"Pagewright Player"_s);
    setMinimumSize(minimumContentSize);
    setCentralWidget(m_root);
    buildMenus(controller);
    if (!restoreGeometry(m_defaults.value(geometryKey).toByteArray())) {
        resize(contentSize);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
}

void PlayerWindow::buildMenus(AppController &controller)
{
    SettingsStore &settings = controller.settings();
    ShowModel &model = controller.model();

    QMenu *file = menuBar()->addMenu(u"&File"_s);
    QAction *quit = file->addAction(u"&Quit"_s, this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *view = menuBar()->addMenu(u"&View"_s);
    const auto bindToggle = [&](const QString &text, bool (SettingsStore::*read)() const,
                                void (SettingsStore::*write)(bool), void (SettingsStore::*changed)()) {
        QAction *action = view->addAction(text);
        action->setCheckable(true);
        action->setChecked((settings.*read)());
        connect(action, &QAction::toggled, &settings, write);
        connect(&settings, changed, action,
            [action, &settings, read] { action->setChecked((settings.*read)()); });
        return action;
    };
    bindToggle(
        u"Invert Colors"_s, &SettingsStore::invert, &SettingsStore::setInvert, &SettingsStore::invertChanged)
        ->setObjectName(u"invert-colors"_s);
    bindToggle(u"Page Separators"_s, &SettingsStore::pageSeparators, &SettingsStore::setPageSeparators,
        &SettingsStore::pageSeparatorsChanged)
        ->setObjectName(u"page-separators"_s);

    QMenu *layout = view->addMenu(u"Page Layout"_s);
    auto *layouts = new QActionGroup(layout);
    for (const PageLayoutPreference preference :
        {PageLayoutPreference::OneRow, PageLayoutPreference::TwoRows}) {
        QAction *action = layout->addAction(pageLayoutLabel(preference));
        action->setObjectName(pageLayoutRawValue(preference));
        action->setCheckable(true);
        layouts->addAction(action);
        connect(action, &QAction::triggered, &settings,
            [&settings, preference] { settings.setPageLayout(preference); });
    }
    const auto showLayout = [layouts, &settings] {
        for (QAction *action : layouts->actions())
            action->setChecked(action->objectName() == pageLayoutRawValue(settings.pageLayout()));
    };
    connect(&settings, &SettingsStore::pageLayoutChanged, layouts, showLayout);
    showLayout();

    view->addSeparator();
    QList<QAction *> zooms;
    const std::tuple<QString, QKeySequence, StageZoomAction> zoomItems[]
        = {{u"Zoom In"_s, QKeySequence::ZoomIn, StageZoomAction::ZoomIn},
            {u"Zoom Out"_s, QKeySequence::ZoomOut, StageZoomAction::ZoomOut},
            {u"Reset Zoom"_s, QKeySequence(Qt::CTRL | Qt::Key_0), StageZoomAction::Reset}};
    for (const auto &[text, shortcut, zoom] : zoomItems) {
        QAction *action = view->addAction(text);
        action->setShortcut(shortcut);
        // An init-capture: clang before 16 cannot capture a structured binding.
        connect(
            action, &QAction::triggered, &settings, [&settings, zoom = zoom] { settings.requestZoom(zoom); });
        zooms.append(action);
    }
    // Zooming needs a page.
    const auto enableZoom = [zooms, &model] {
        for (QAction *action : zooms)
            action->setEnabled(model.displayedPage() >= 0);
    };
    connect(&model, &ShowModel::displayedPageChanged, this, enableZoom);
    enableZoom();

    view->addSeparator();
    QAction *fullScreen = view->addAction(u"Full Screen"_s);
    fullScreen->setObjectName(u"full-screen"_s);
    fullScreen->setCheckable(true);
    fullScreen->setShortcut(QKeySequence::FullScreen);
    connect(fullScreen, &QAction::toggled, this, [this](bool on) {
        if (on)
            showFullScreen();
        else
            showNormal();
    });
}

void PlayerWindow::present()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void PlayerWindow::closeEvent(QCloseEvent *event)
{
    m_defaults.setValue(geometryKey, saveGeometry());
    QMainWindow::closeEvent(event);
}

} // namespace pgw
