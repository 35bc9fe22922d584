#include "stage/ui/StageView.h"

#include "show/ShowModel.h"
#include "stage/StageTurns.h"
#include "stage/ui/ZoomStage.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

StageView::StageView(Scheduler &main, ShowModel &model, SettingsStore &settings,
    PrivateAnnotationStore *privateAnnotations, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_zoomStage(new ZoomStage(main, model, settings, privateAnnotations, this))
{
    setObjectName(u"stage-screen"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_zoomStage);
    // The model decides whether a turn is the musician's own or a peek ahead of the Host.
    m_zoomStage->onSwipe = [this](int delta) { m_model.turnLocally(delta); };
    m_zoomStage->onTap = [this](const QPointF &point, const QSizeF &size) { handleTap(point, size); };
}

void StageView::setChromeVisible(bool on)
{
    if (m_chromeVisible == on)
        return;
    m_chromeVisible = on;
    Q_EMIT chromeVisibleChanged();
}

void StageView::handleTap(const QPointF &point, const QSizeF &size)
{
    const std::optional<int> turn = StageLayout::edgeTurn(point.x(), size.width());
    const ShowPhase::Kind phase = m_model.phase().kind;
    if (m_model.turnsPagesLocally() || phase == ShowPhase::Live || phase == ShowPhase::Offline) {
        if (turn)
            m_model.turnLocally(*turn);
        else
            setChromeVisible(!m_chromeVisible);
    } else if (phase == ShowPhase::Peek) {
        if (turn)
            m_model.turnLocally(*turn);
        else if (onReturnToLive)
            onReturnToLive();
    } else {
        setChromeVisible(!m_chromeVisible);
    }
}

} // namespace pgw
