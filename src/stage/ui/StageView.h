#pragma once

#include "support/Scheduler.h"

#include <QWidget>

#include <functional>

namespace pgw {

class PrivateAnnotationStore;
class SettingsStore;
class ShowModel;
class ZoomStage;

// The screen the musician reads from: the page area, with clicks, keys and swipes routed to the show's
// page turns.
class StageView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool chromeVisible READ chromeVisible NOTIFY chromeVisibleChanged)

public:
    StageView(Scheduler &main, ShowModel &model, SettingsStore &settings,
        PrivateAnnotationStore *privateAnnotations, QWidget *parent = nullptr);

    std::function<void()> onReturnToLive;

    ZoomStage *zoomStage() const { return m_zoomStage; }
    bool chromeVisible() const { return m_chromeVisible; }
    void setChromeVisible(bool on);

    // The outer 30 % on each side turn; the middle shows or hides the chrome, or in a peek returns to
    // the Host's page.
    void handleTap(const QPointF &point, const QSizeF &size);

Q_SIGNALS:
    void chromeVisibleChanged();

private:
    ShowModel &m_model;
    ZoomStage *m_zoomStage;
    bool m_chromeVisible = false;
};

} // namespace pgw
