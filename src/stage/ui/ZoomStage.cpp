// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/ZoomStage.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/SettingsStore.h"
#include "show/ShowModel.h"
#include "stage/ui/DesktopStageView.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

ZoomStage::ZoomStage(Scheduler &main, ShowModel &model, SettingsStore &settings,
    PrivateAnnotationStore *privateAnnotations, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
    , m_model(&model)
    , m_settings(settings)
    , m_privateAnnotations(privateAnnotations)
    , m_stage(new DesktopStageView(main, this))
{
    setObjectName(u"zoom-stage"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stage);

    m_stage->onPageTurn = [this](int delta) {
        if (onSwipe)
            onSwipe(delta);
    };
    m_stage->onTap = [this](const QPointF &point, const QSizeF &size) {
        if (onTap)
            onTap(point, size);
    };
    m_stage->onPrivatePageChange = [this](const std::optional<PrivateAnnotationPageKey> &key) {
        if (onPrivatePageChange)
            onPrivatePageChange(key);
    };

    for (const auto signal : {&ShowModel::stagePagesChanged, &ShowModel::bankPagesChanged,
             &ShowModel::basePNGChanged, &ShowModel::marksPNGChanged, &ShowModel::activePageKeyChanged,
             &ShowModel::bankActivePageKeyChanged, &ShowModel::inkGenerationChanged,
             &ShowModel::displayedPageChanged})
        connect(&model, signal, this, &ZoomStage::scheduleApply);
    for (const auto signal :
        {&SettingsStore::invertChanged, &SettingsStore::fitWidthChanged, &SettingsStore::pageLayoutChanged,
            &SettingsStore::pageSeparatorsChanged, &SettingsStore::zoomRequestChanged,
            &SettingsStore::privateAnnotationToolChanged, &SettingsStore::privateAnnotationColorChanged})
        connect(&settings, signal, this, &ZoomStage::scheduleApply);
    scheduleApply();
}

void ZoomStage::setAnnotationMode(bool on)
{
    if (m_annotationMode == on)
        return;
    m_annotationMode = on;
    scheduleApply();
}

void ZoomStage::setReducedMotion(bool on)
{
    m_stage->setReducedMotion(on);
}

void ZoomStage::scheduleApply()
{
    if (m_applyScheduled)
        return;
    m_applyScheduled = true;
    m_main.post([self = QPointer(this)] {
        if (self && self->m_applyScheduled)
            self->applyNow();
    });
}

void ZoomStage::applyNow()
{
    m_applyScheduled = false;
    DesktopStageOptions options;
    options.invert = m_settings.invert();
    options.privateAnnotations = m_privateAnnotations;
    options.annotationMode = m_annotationMode;
    options.annotationTool = m_settings.privateAnnotationTool();
    options.annotationColor = m_settings.privateAnnotationColor();
    options.fitWidth = m_settings.fitWidth();
    options.pageLayout = m_settings.pageLayout();
    options.pageSeparators = m_settings.pageSeparators();
    options.zoomRequest = m_settings.zoomRequest();
    m_stage->apply(m_model, options);
    m_stage->requestFocus();
}

} // namespace pgw
