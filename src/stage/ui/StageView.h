// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"
#include "support/Scheduler.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QButtonGroup;
class QDialog;
class QFrame;
class QLabel;
class QToolButton;

namespace pgw {

class MIDIPageTurnController;
class PrivateAnnotationStore;
class SettingsStore;
class ShowModel;
class StageReadinessRail;
class ZoomStage;

// The screen the musician reads from: the page area, and floating over it the readiness rail, the chrome
// bar, the private-ink bar, the local-pages chip and the toast. Routes clicks, keys and swipes to the
// show's page turns and opens the sheets.
class StageView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool chromeVisible READ chromeVisible NOTIFY chromeVisibleChanged)
    Q_PROPERTY(bool annotationMode READ annotationMode NOTIFY annotationModeChanged)

public:
    static constexpr double chromeAutoHide = 6.0;
    static constexpr double toastLifetime = 3.0;

    struct Services
    {
        ShowModel &model;
        SettingsStore &settings;
        MIDIPageTurnController &midi;
        PrivateAnnotationStore &privateAnnotations;
        StageReadinessRail &readiness;
    };

    StageView(Scheduler &main, Services services, QWidget *parent = nullptr);
    ~StageView() override;

    std::function<void()> onReturnToLive;
    std::function<void()> onFollowHost;
    std::function<void()> onTogglePageTurns;
    std::function<void()> onSaveForPractice;
    std::function<void()> onLeave;

    ZoomStage *zoomStage() const { return m_zoomStage; }
    bool chromeVisible() const { return m_chromeVisible; }
    void setChromeVisible(bool on);
    bool annotationMode() const { return m_annotationMode; }
    const std::optional<PrivateAnnotationPageKey> &visiblePrivatePageKey() const
    {
        return m_visiblePrivatePageKey;
    }

    // The outer 30 % on each side turn; the middle shows or hides the chrome, or in a peek returns to
    // the Host's page.
    void handleTap(const QPointF &point, const QSizeF &size);
    void togglePrivateAnnotations();
    void openPartChooser();
    void openInstruments();
    void openPedals();
    void openPageLayout();

Q_SIGNALS:
    void chromeVisibleChanged();
    void annotationModeChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildChrome();
    void buildAnnotationBar();
    void refreshChrome();
    void refreshAnnotationBar();
    void refreshRail();
    void refreshChip();
    void showToast();
    void setAnnotationMode(bool on);
    void placeOverlays();
    void confirmClearPrivatePage();
    void presentPartChooserIfAsked();

    Scheduler &m_main;
    ShowModel &m_model;
    SettingsStore &m_settings;
    MIDIPageTurnController &m_midi;
    PrivateAnnotationStore &m_privateAnnotations;
    StageReadinessRail &m_readiness;
    ZoomStage *m_zoomStage;

    bool m_chromeVisible = false;
    bool m_annotationMode = false;
    std::optional<PrivateAnnotationPageKey> m_visiblePrivatePageKey;
    std::optional<PrivateAnnotationPageKey> m_pendingClearPrivatePageKey;
    TaskHandle m_chromeHide;
    TaskHandle m_toastExpiry;

    QFrame *m_chrome = nullptr;
    QToolButton *m_privateInk = nullptr;
    QToolButton *m_invert = nullptr;
    QToolButton *m_separators = nullptr;
    QToolButton *m_pages = nullptr;
    QToolButton *m_autoReturn = nullptr;
    QToolButton *m_partChart = nullptr;
    QToolButton *m_turns = nullptr;
    QLabel *m_ephemeral = nullptr;
    QToolButton *m_save = nullptr;
    QToolButton *m_chart = nullptr;
    QLabel *m_presence = nullptr;
    QToolButton *m_leave = nullptr;

    QFrame *m_annotationBar = nullptr;
    QButtonGroup *m_tools = nullptr;
    QButtonGroup *m_colors = nullptr;
    QToolButton *m_undo = nullptr;
    QToolButton *m_redo = nullptr;
    QToolButton *m_clearPage = nullptr;

    QFrame *m_rail = nullptr;
    QLabel *m_railDot = nullptr;
    QLabel *m_railText = nullptr;
    QLabel *m_toast = nullptr;
    QToolButton *m_chip = nullptr;
    QPointer<QDialog> m_partChooser;
};

} // namespace pgw
