// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetStore.h"
#include "link/PlayerReadinessRailPolicy.h"
#include "support/Scheduler.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace pgw {

class ShowModel;

// The line over the stage that says how much of the music has arrived. Incomplete and offline statuses
// stay; a completion is announced once per set of files, for a few seconds.
class StageReadinessRail : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text NOTIFY changed)
    Q_PROPERTY(bool visible READ visible NOTIFY changed)
    Q_PROPERTY(pgw::StageReadinessRail::Tone tone READ tone NOTIFY changed)

public:
    enum class Tone { Receiving, Complete, Offline };
    Q_ENUM(Tone)

    static constexpr double completionSeconds = 2.0;
    // Long enough for a screen reader to finish the sentence.
    static constexpr double screenReaderCompletionSeconds = 5.0;

    using Coverage = std::function<AssetStore::PageCoverage(const QList<AssetStore::Want> &)>;

    // Without `coverage` nothing counts as cached.
    StageReadinessRail(Scheduler &scheduler, ShowModel &model, Coverage coverage, QObject *parent = nullptr);

    QString text() const { return m_text; }
    bool visible() const { return m_visible; }
    Tone tone() const { return m_tone; }
    PlayerReadinessRailBehavior behavior() const { return m_behavior; }
    void setScreenReaderActive(bool on) { m_screenReaderActive = on; }

    // Counts the cached pages again; the store calls for it when its contents change.
    void refresh();

Q_SIGNALS:
    void changed();

private:
    void show(const QString &text, Tone tone, PlayerReadinessRailBehavior behavior, bool visible);
    void endAnnouncement();

    Scheduler &m_scheduler;
    QPointer<ShowModel> m_model;
    Coverage m_coverage;
    QString m_text;
    bool m_visible = false;
    Tone m_tone = Tone::Receiving;
    PlayerReadinessRailBehavior m_behavior = PlayerReadinessRailBehavior::Hidden;
    bool m_screenReaderActive = false;
    QString m_announcedScope;
    bool m_announcing = false;
    TaskHandle m_hideCompletion;
};

} // namespace pgw
