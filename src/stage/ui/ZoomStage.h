// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"
#include "support/Scheduler.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace pgw {

class DesktopStageView;
class PrivateAnnotationStore;
class SettingsStore;
class ShowModel;

// Hosts the page area and keeps it current: every change of the model, the settings or the annotation
// state leads to one apply on the next turn of the event loop, after which the stage takes the keys.
class ZoomStage : public QWidget
{
    Q_OBJECT

public:
    ZoomStage(Scheduler &main, ShowModel &model, SettingsStore &settings,
        PrivateAnnotationStore *privateAnnotations, QWidget *parent = nullptr);

    std::function<void(int delta)> onSwipe;
    std::function<void(const QPointF &point, const QSizeF &size)> onTap;
    std::function<void(const std::optional<PrivateAnnotationPageKey> &key)> onPrivatePageChange;

    bool annotationMode() const { return m_annotationMode; }
    void setAnnotationMode(bool on);
    void setReducedMotion(bool on);
    DesktopStageView *stageView() const { return m_stage; }

    // Applies now what the next turn of the event loop would.
    void applyNow();

private:
    void scheduleApply();

    Scheduler &m_main;
    QPointer<ShowModel> m_model;
    SettingsStore &m_settings;
    QPointer<PrivateAnnotationStore> m_privateAnnotations;
    DesktopStageView *m_stage;
    bool m_annotationMode = false;
    bool m_applyScheduled = false;
};

} // namespace pgw
