// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/StageReadinessRail.h"

#include "link/PlayerReadinessCopy.h"
#include "show/ShowModel.h"

using namespace Qt::StringLiterals;

namespace pgw {

StageReadinessRail::StageReadinessRail(
    Scheduler &scheduler, ShowModel &model, Coverage coverage, QObject *parent)
    : QObject(parent)
    , m_scheduler(scheduler)
    , m_model(&model)
    , m_coverage(std::move(coverage))
{
    for (const auto signal :
        {&ShowModel::phaseChanged, &ShowModel::practiceModeChanged, &ShowModel::currentWantsChanged})
        connect(&model, signal, this, &StageReadinessRail::refresh);
    refresh();
}

void StageReadinessRail::show(
    const QString &text, Tone tone, PlayerReadinessRailBehavior behavior, bool visible)
{
    if (m_text == text && m_tone == tone && m_behavior == behavior && m_visible == visible)
        return;
    m_text = text;
    m_tone = tone;
    m_behavior = behavior;
    m_visible = visible;
    Q_EMIT changed();
}

void StageReadinessRail::refresh()
{
    if (!m_model)
        return;
    const QList<AssetStore::Want> &wants = m_model->currentWants();
    const AssetStore::PageCoverage coverage = m_coverage && !wants.isEmpty()
        ? m_coverage(wants)
        : AssetStore::PageCoverage {0, int(wants.size())};
    const int ready = coverage.ready;
    const int total = coverage.total;
    const bool complete = total >= 1 && ready == total;
    const ShowPhase::Kind phase = m_model->phase().kind;

    QString text;
    QString scope;
    if (m_model->practiceMode() && total > 0) {
        text = PlayerReadinessCopy::saved(ready, total, complete);
        scope = u"practice:"_s;
    } else if ((phase == ShowPhase::Live || phase == ShowPhase::Peek) && total > 0) {
        text = PlayerReadinessCopy::live(ready, total);
        scope = u"live:"_s;
    } else if (phase == ShowPhase::Offline) {
        endAnnouncement();
        show(PlayerReadinessCopy::offline(ready, total), Tone::Offline,
            PlayerReadinessRailBehavior::Persistent, true);
        return;
    } else {
        endAnnouncement();
        show({}, Tone::Receiving, PlayerReadinessRailBehavior::Hidden, false);
        return;
    }
    scope += m_model->readinessCoverageScopeFingerprint();

    QStringList &acknowledged = m_model->readinessTracker.acknowledgedScopes;
    if (!complete) {
        // A scope that falls back to incomplete is announced again when it completes.
        acknowledged.removeAll(scope);
        endAnnouncement();
        show(text, Tone::Receiving, PlayerReadinessRailBehavior::Persistent, true);
        return;
    }
    if (!acknowledged.contains(scope)) {
        acknowledged.append(scope);
        if (acknowledged.size() > PlayerReadinessCompletionTracker::capacity)
            acknowledged.removeFirst();
        endAnnouncement();
        m_announcedScope = scope;
        m_announcing = true;
        const double seconds = m_screenReaderActive ? screenReaderCompletionSeconds : completionSeconds;
        m_hideCompletion = m_scheduler.postAfter(seconds, [self = QPointer(this)] {
            if (!self)
                return;
            self->m_announcing = false;
            self->show(self->m_text, self->m_tone, self->m_behavior, false);
        });
        show(text, Tone::Complete, PlayerReadinessRailBehavior::TransientCompletion, true);
        return;
    }
    // Already announced: it stays only while its own announcement lasts.
    show(text, Tone::Complete, PlayerReadinessRailBehavior::TransientCompletion,
        m_announcing && scope == m_announcedScope);
}

void StageReadinessRail::endAnnouncement()
{
    m_hideCompletion.cancel();
    m_announcing = false;
}

} // namespace pgw
