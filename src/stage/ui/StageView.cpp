// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/StageView.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/SettingsStore.h"
#include "app/ui/MyInstrumentsView.h"
#include "app/ui/PartChooserView.h"
#include "app/ui/Sheets.h"
#include "midi/MIDIPageTurnController.h"
#include "midi/ui/MIDIPedalSetupView.h"
#include "show/PartOptionListModel.h"
#include "show/ShowModel.h"
#include "stage/StageReadinessRail.h"
#include "stage/StageTurns.h"
#include "stage/ui/PageLayoutSettingsView.h"
#include "stage/ui/StageStyle.h"
#include "stage/ui/ZoomStage.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

QToolButton *button(QWidget *parent, QBoxLayout *row, const QString &text, const QString &objectName = {})
{
    auto *item = new QToolButton(parent);
    item->setText(text);
    item->setObjectName(objectName);
    item->setAccessibleName(text);
    item->setFont(StageStyle::mono());
    // Reached with Tab; a click leaves the keys with the pages, so Space still turns.
    item->setFocusPolicy(Qt::TabFocus);
    item->setAutoRaise(true);
    row->addWidget(item);
    return item;
}

QToolButton *toggle(QWidget *parent, QBoxLayout *row, const QString &text, const QString &objectName = {})
{
    QToolButton *item = button(parent, row, text, objectName);
    item->setCheckable(true);
    return item;
}

QFrame *bar(QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(u"bar"_s);
    frame->setStyleSheet(StageStyle::barStyleSheet());
    return frame;
}

// A colour chip for the ink buttons.
QIcon swatch(const QColor &color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(1, 1, 12, 12));
    return QIcon(pixmap);
}

void setAccessibleText(QWidget *widget, const QString &name, const QString &description = {})
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

} // namespace

StageView::StageView(Scheduler &main, Services services, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
    , m_model(services.model)
    , m_settings(services.settings)
    , m_midi(services.midi)
    , m_privateAnnotations(services.privateAnnotations)
    , m_readiness(services.readiness)
    , m_zoomStage(new ZoomStage(main, services.model, services.settings, &services.privateAnnotations, this))
{
    setObjectName(u"stage-screen"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_zoomStage);
    // The model decides whether a turn is the musician's own or a peek ahead of the Host.
    m_zoomStage->onSwipe = [this](int delta) { m_model.turnLocally(delta); };
    m_zoomStage->onTap = [this](const QPointF &point, const QSizeF &size) { handleTap(point, size); };
    m_zoomStage->onPrivatePageChange = [this](const std::optional<PrivateAnnotationPageKey> &key) {
        m_visiblePrivatePageKey = key;
        refreshAnnotationBar();
    };

    m_rail = bar(this);
    m_rail->setObjectName(u"connection-readiness-status"_s);
    m_rail->setStyleSheet(
        u"QFrame { background: %1; border-radius: 6px; }"_s.arg(StageStyle::css(StageStyle::panel())));
    m_rail->setFocusPolicy(Qt::NoFocus);
    auto *railRow = new QHBoxLayout(m_rail);
    railRow->setContentsMargins(12, 6, 12, 6);
    railRow->setSpacing(8);
    m_railDot = new QLabel(m_rail);
    m_railDot->setFixedSize(8, 8);
    m_railText = new QLabel(m_rail);
    m_railText->setFont(StageStyle::mono(12));
    railRow->addWidget(m_railDot);
    railRow->addWidget(m_railText);

    m_toast = new QLabel(this);
    m_toast->setObjectName(u"stage-toast"_s);
    m_toast->setFont(StageStyle::mono(13));
    m_toast->setWordWrap(true);
    m_toast->setAlignment(Qt::AlignCenter);
    m_toast->setStyleSheet(u"QLabel { color: #e8e4da; background: rgba(13, 18, 28, 235); border: 1px solid "
                           "rgba(212, 163, 74, 110); border-radius: 8px; padding: 8px 14px; }"_s);
    m_toast->hide();

    m_chip = new QToolButton(this);
    m_chip->setObjectName(u"local-pages-chip"_s);
    m_chip->setFont(StageStyle::mono(12));
    m_chip->setStyleSheet(
        u"QToolButton { color: #15110a; background: %1; border-radius: 12px; padding: 4px 12px; }"
        "QToolButton:focus { border: 2px solid #f5f0e6; }"_s.arg(StageStyle::css(StageStyle::brass())));
    connect(m_chip, &QToolButton::clicked, this, [this] {
        if (onFollowHost && !m_model.practiceMode())
            onFollowHost();
    });

    buildChrome();
    buildAnnotationBar();

    for (const auto signal : {&ShowModel::phaseChanged, &ShowModel::practiceModeChanged,
             &ShowModel::partSelectionActiveChanged, &ShowModel::selectedPartLabelChanged,
             &ShowModel::turnsPagesLocallyChanged, &ShowModel::ephemeralShowChanged,
             &ShowModel::availablePartOptionsChanged, &ShowModel::presenceTextChanged})
        connect(&m_model, signal, this, &StageView::refreshChrome);
    for (const auto signal : {&SettingsStore::invertChanged, &SettingsStore::pageSeparatorsChanged,
             &SettingsStore::pageLayoutChanged, &SettingsStore::autoReturnChanged})
        connect(&m_settings, signal, this, &StageView::refreshChrome);
    for (const auto signal : {&ShowModel::turnsPagesLocallyChanged, &ShowModel::hostPositionTextChanged,
             &ShowModel::selectedPartLabelChanged, &ShowModel::practiceModeChanged})
        connect(&m_model, signal, this, &StageView::refreshChip);
    connect(&m_model, &ShowModel::toastChanged, this, &StageView::showToast);
    connect(&m_model, &ShowModel::partChooserChanged, this, &StageView::presentPartChooserIfAsked);
    connect(&m_readiness, &StageReadinessRail::changed, this, &StageView::refreshRail);
    connect(
        &m_settings, &SettingsStore::privateAnnotationToolChanged, this, &StageView::refreshAnnotationBar);
    connect(
        &m_settings, &SettingsStore::privateAnnotationColorChanged, this, &StageView::refreshAnnotationBar);
    connect(&m_privateAnnotations, &PrivateAnnotationStore::generationChanged, this,
        &StageView::refreshAnnotationBar);
    connect(&m_privateAnnotations, &PrivateAnnotationStore::lastPersistenceErrorChanged, this,
        [this](const QString &error) {
            if (!error.isEmpty())
                m_model.setToast(u"private ink couldn't be saved — "_s + error);
        });

    refreshChrome();
    refreshChip();
    refreshRail();
    refreshAnnotationBar();
    showToast();
    m_chrome->hide();
}

StageView::~StageView()
{
    m_chromeHide.cancel();
    m_toastExpiry.cancel();
}

void StageView::buildChrome()
{
    m_chrome = bar(this);
    m_chrome->setAccessibleName(u"Stage controls"_s);
    auto *rows = new QVBoxLayout(m_chrome);
    rows->setContentsMargins(8, 6, 8, 6);
    rows->setSpacing(2);
    auto *view = new QHBoxLayout;
    auto *show = new QHBoxLayout;
    for (QHBoxLayout *row : {view, show}) {
        row->setSpacing(4);
        rows->addLayout(row);
    }

    m_privateInk = toggle(m_chrome, view, u"private ink"_s, u"private-annotations-toggle"_s);
    connect(m_privateInk, &QToolButton::clicked, this, [this] {
        togglePrivateAnnotations();
        m_privateInk->setChecked(m_annotationMode);
    });
    m_invert = toggle(m_chrome, view, u"invert"_s, u"invert-toggle"_s);
    connect(m_invert, &QToolButton::toggled, &m_settings, &SettingsStore::setInvert);
    m_separators = toggle(m_chrome, view, u"separators"_s, u"separators-toggle"_s);
    connect(m_separators, &QToolButton::toggled, &m_settings, &SettingsStore::setPageSeparators);
    m_pages = button(m_chrome, view, {}, u"page-layout"_s);
    connect(m_pages, &QToolButton::clicked, this, &StageView::openPageLayout);
    const std::pair<QString, StageZoomAction> zooms[] = {{u"reset zoom"_s, StageZoomAction::Reset},
        {u"zoom −"_s, StageZoomAction::ZoomOut}, {u"zoom +"_s, StageZoomAction::ZoomIn}};
    const QString zoomNames[] = {u"reset-zoom"_s, u"zoom-out"_s, u"zoom-in"_s};
    for (int i = 0; i < 3; ++i) {
        QToolButton *zoom = button(m_chrome, view, zooms[i].first, zoomNames[i]);
        connect(zoom, &QToolButton::clicked, this,
            [this, action = zooms[i].second] { m_settings.requestZoom(action); });
    }
    view->addStretch();

    m_autoReturn = toggle(m_chrome, show, u"auto-return"_s, u"auto-return-toggle"_s);
    connect(m_autoReturn, &QToolButton::toggled, &m_settings, &SettingsStore::setAutoReturn);
    m_partChart = button(m_chrome, show, {}, u"local-chart"_s);
    connect(m_partChart, &QToolButton::clicked, this, &StageView::openPartChooser);
    m_turns = button(m_chrome, show, {}, u"page-turns"_s);
    connect(m_turns, &QToolButton::clicked, this, [this] {
        if (onTogglePageTurns)
            onTogglePageTurns();
    });
    m_ephemeral = new QLabel(u"ephemeral show — nothing is kept"_s, m_chrome);
    m_ephemeral->setFont(StageStyle::mono());
    show->addWidget(m_ephemeral);
    m_save = button(m_chrome, show, u"save for practice"_s, u"save-for-practice"_s);
    connect(m_save, &QToolButton::clicked, this, [this] {
        if (onSaveForPractice)
            onSaveForPractice();
    });
    QToolButton *instruments = button(m_chrome, show, u"my instruments"_s, u"my-instruments"_s);
    connect(instruments, &QToolButton::clicked, this, &StageView::openInstruments);
    QToolButton *pedals = button(m_chrome, show, u"MIDI pedals"_s, u"midi-pedals"_s);
    connect(pedals, &QToolButton::clicked, this, &StageView::openPedals);
    m_chart = button(m_chrome, show, {}, u"chart"_s);
    connect(m_chart, &QToolButton::clicked, this, &StageView::openPartChooser);
    m_presence = new QLabel(m_chrome);
    m_presence->setFont(StageStyle::mono(12));
    show->addWidget(m_presence);
    show->addStretch();
    m_leave = button(m_chrome, show, {}, u"leave"_s);
    connect(m_leave, &QToolButton::clicked, this, [this] {
        if (onLeave)
            onLeave();
    });
}

void StageView::buildAnnotationBar()
{
    m_annotationBar = bar(this);
    m_annotationBar->setObjectName(u"private-annotations-palette"_s);
    m_annotationBar->setStyleSheet(StageStyle::barStyleSheet()
        + u"QFrame#private-annotations-palette { background: rgba(13, 18, 28, 232); border: 1px solid "
          "rgba(212, 163, 74, 110); border-radius: 8px; }"_s);
    auto *row = new QHBoxLayout(m_annotationBar);
    row->setContentsMargins(10, 4, 8, 4);
    row->setSpacing(4);
    auto *heading = new QLabel(u"PRIVATE · NOT SHARED"_s, m_annotationBar);
    heading->setFont(StageStyle::mono(11));
    heading->setAccessibleName(u"Private annotations. Not shared with the host."_s);
    row->addWidget(heading);
    row->addSpacing(6);

    m_tools = new QButtonGroup(this);
    const std::pair<QString, PlayerPrivateAnnotationTool> tools[]
        = {{u"Pen"_s, PlayerPrivateAnnotationTool::Pen},
            {u"Highlight"_s, PlayerPrivateAnnotationTool::Highlighter},
            {u"Eraser"_s, PlayerPrivateAnnotationTool::Eraser}};
    for (const auto &[label, tool] : tools) {
        QToolButton *item = toggle(m_annotationBar, row, label);
        m_tools->addButton(item, int(tool));
    }
    connect(m_tools, &QButtonGroup::idClicked, this,
        [this](int id) { m_settings.setPrivateAnnotationTool(PlayerPrivateAnnotationTool(id)); });
    row->addSpacing(6);

    m_colors = new QButtonGroup(this);
    for (const auto &[color, raw] : privateAnnotationColors) {
        const auto style = privateAnnotationStyle(PlayerPrivateAnnotationTool::Pen, color);
        QToolButton *item = toggle(m_annotationBar, row, {});
        item->setIcon(swatch(
            QColor::fromRgbF(float(style->color.red), float(style->color.green), float(style->color.blue))));
        item->setAccessibleName(QString(raw) + u" ink"_s);
        item->setToolTip(QString(raw) + u" ink"_s);
        m_colors->addButton(item, int(color));
    }
    connect(m_colors, &QButtonGroup::idClicked, this,
        [this](int id) { m_settings.setPrivateAnnotationColor(PlayerPrivateAnnotationColor(id)); });
    row->addSpacing(6);

    m_undo = button(m_annotationBar, row, u"undo"_s, u"private-undo"_s);
    connect(m_undo, &QToolButton::clicked, this, [this] {
        if (m_visiblePrivatePageKey)
            m_privateAnnotations.undo(*m_visiblePrivatePageKey);
    });
    m_redo = button(m_annotationBar, row, u"redo"_s, u"private-redo"_s);
    connect(m_redo, &QToolButton::clicked, this, [this] {
        if (m_visiblePrivatePageKey)
            m_privateAnnotations.redo(*m_visiblePrivatePageKey);
    });
    m_clearPage = button(m_annotationBar, row, u"clear page"_s, u"private-clear-page"_s);
    connect(m_clearPage, &QToolButton::clicked, this, &StageView::confirmClearPrivatePage);
    QToolButton *done = button(m_annotationBar, row, u"done"_s, u"private-done"_s);
    connect(done, &QToolButton::clicked, this, [this] { setAnnotationMode(false); });
    m_annotationBar->hide();
}

void StageView::setChromeVisible(bool on)
{
    m_chromeHide.cancel();
    if (on) {
        // It goes away by itself unless the musician is inking.
        m_chromeHide = m_main.postAfter(chromeAutoHide, [self = QPointer(this)] {
            if (self && !self->m_annotationMode)
                self->setChromeVisible(false);
        });
    }
    if (m_chromeVisible == on)
        return;
    m_chromeVisible = on;
    m_chrome->setVisible(on);
    placeOverlays();
    Q_EMIT chromeVisibleChanged();
}

void StageView::setAnnotationMode(bool on)
{
    if (m_annotationMode == on)
        return;
    m_annotationMode = on;
    m_zoomStage->setAnnotationMode(on);
    m_privateInk->setChecked(on);
    m_annotationBar->setVisible(on);
    refreshAnnotationBar();
    placeOverlays();
    Q_EMIT annotationModeChanged();
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

void StageView::togglePrivateAnnotations()
{
    if (!m_visiblePrivatePageKey) {
        m_model.setToast(u"wait for a chart before adding private ink"_s);
        return;
    }
    if (const QString error = m_privateAnnotations.lastPersistenceError(); !error.isEmpty()) {
        m_model.setToast(u"private ink is unavailable — "_s + error);
        return;
    }
    setAnnotationMode(!m_annotationMode);
    setChromeVisible(true);
    if (m_annotationMode)
        m_model.setToast(u"private ink stays on this Player and is never shared"_s);
}

void StageView::refreshChrome()
{
    const bool practice = m_model.practiceMode();
    const QSignalBlocker invert(m_invert);
    const QSignalBlocker separators(m_separators);
    const QSignalBlocker autoReturn(m_autoReturn);
    m_privateInk->setChecked(m_annotationMode);
    m_invert->setChecked(m_settings.invert());
    m_separators->setChecked(m_settings.pageSeparators());
    m_pages->setText(u"pages: "_s + pageLayoutLabel(m_settings.pageLayout()));
    setAccessibleText(m_pages, m_pages->text(), u"Opens the page layout"_s);
    m_autoReturn->setChecked(m_settings.autoReturn());
    m_autoReturn->setVisible(!practice);

    const bool partActive = m_model.partSelectionActive();
    m_partChart->setText(u"chart: "_s + m_model.selectedPartLabel() + u" · local"_s);
    setAccessibleText(m_partChart, m_partChart->text(), u"Chooses the chart"_s);
    m_partChart->setVisible(partActive);
    m_turns->setText(m_model.turnsPagesLocally() ? u"turns: mine"_s : u"turns: host"_s);
    setAccessibleText(m_turns, m_turns->text());
    m_turns->setVisible(!partActive && !practice);
    m_ephemeral->setVisible(!practice && m_model.ephemeralShow());
    m_save->setVisible(!practice && !m_model.ephemeralShow());
    m_chart->setText(u"chart: "_s + m_model.selectedPartLabel());
    setAccessibleText(m_chart, m_chart->text(), u"Chooses the chart"_s);
    m_chart->setVisible(!m_model.availablePartOptions().isEmpty() && !partActive);
    m_presence->setText(m_model.presenceText());
    m_presence->setVisible(!m_model.presenceText().isEmpty());
    m_leave->setText(practice ? u"back to lobby"_s : u"leave"_s);
    setAccessibleText(m_leave, m_leave->text());
    placeOverlays();
}

void StageView::refreshAnnotationBar()
{
    if (QAbstractButton *tool = m_tools->button(int(m_settings.privateAnnotationTool())))
        tool->setChecked(true);
    if (QAbstractButton *color = m_colors->button(int(m_settings.privateAnnotationColor())))
        color->setChecked(true);
    const bool page = m_visiblePrivatePageKey.has_value();
    m_undo->setEnabled(page && m_privateAnnotations.canUndo(*m_visiblePrivatePageKey));
    m_redo->setEnabled(page && m_privateAnnotations.canRedo(*m_visiblePrivatePageKey));
    m_clearPage->setEnabled(page);
}

void StageView::refreshRail()
{
    const bool visible = m_readiness.visible() && !m_readiness.text().isEmpty();
    m_rail->setVisible(visible);
    if (!visible)
        return;
    m_readiness.setScreenReaderActive(QAccessible::isActive());
    const QColor dot = m_readiness.tone() == StageReadinessRail::Tone::Offline ? StageStyle::offline()
        : m_readiness.tone() == StageReadinessRail::Tone::Complete             ? StageStyle::complete()
                                                                               : StageStyle::brass();
    m_railDot->setStyleSheet(u"background: %1; border-radius: 4px;"_s.arg(StageStyle::css(dot)));
    m_railText->setText(m_readiness.text());
    m_railText->setStyleSheet(u"color: #d8d4ca;"_s);
    const bool transient = m_readiness.behavior() == PlayerReadinessRailBehavior::TransientCompletion;
    setAccessibleText(m_rail, m_readiness.text(),
        transient ? u"This confirmation disappears automatically."_s
                  : u"This status remains visible while attention is needed."_s);
    placeOverlays();
}

void StageView::refreshChip()
{
    const bool local = m_model.turnsPagesLocally();
    m_chip->setVisible(local);
    if (!local)
        return;
    const QString label = m_model.selectedPartLabel();
    const QString part = label == u"Master"_s ? u"MY PAGES"_s : label.toUpper();
    const QString position = m_model.hostPositionText();
    m_chip->setText(part + u" · "_s + position);
    const bool practice = m_model.practiceMode();
    // In practice there is no Host to follow, so the chip only tells.
    m_chip->setEnabled(!practice);
    m_chip->setFocusPolicy(practice ? Qt::NoFocus : Qt::TabFocus);
    setAccessibleText(m_chip,
        practice ? u"Saved show practice. "_s + position
                 : u"Turning my own pages. "_s + position + u". Follow host"_s);
    placeOverlays();
}

void StageView::showToast()
{
    m_toastExpiry.cancel();
    const QString toast = m_model.toast();
    m_toast->setText(toast);
    m_toast->setVisible(!toast.isEmpty());
    if (toast.isEmpty())
        return;
    m_toast->setAccessibleName(toast);
    placeOverlays();
    m_toastExpiry = m_main.postAfter(toastLifetime, [self = QPointer(this)] {
        if (self)
            self->m_model.setToast({});
    });
}

void StageView::confirmClearPrivatePage()
{
    if (!m_visiblePrivatePageKey)
        return;
    m_pendingClearPrivatePageKey = m_visiblePrivatePageKey;
    auto *confirm = new QMessageBox(QMessageBox::Warning, u"Clear Private Page"_s,
        u"Clear private annotations from this page?"_s, QMessageBox::NoButton, this);
    confirm->setObjectName(u"clear-private-page-confirmation"_s);
    confirm->setInformativeText(
        u"Only your device-local pen and highlighter marks on this page will be removed. "
        "Host annotations are untouched."_s);
    QPushButton *clear = confirm->addButton(u"Clear Private Page"_s, QMessageBox::DestructiveRole);
    confirm->addButton(QMessageBox::Cancel)->setText(u"Cancel"_s);
    connect(confirm, &QMessageBox::finished, this, [this, confirm, clear] {
        if (confirm->clickedButton() == clear && m_pendingClearPrivatePageKey)
            m_privateAnnotations.clear(*m_pendingClearPrivatePageKey);
        m_pendingClearPrivatePageKey.reset();
    });
    presentSheet(confirm);
}

void StageView::openPageLayout()
{
    presentSheet(new PageLayoutSettingsView(m_settings, this));
}

void StageView::openInstruments()
{
    presentSheet(new MyInstrumentsView(m_settings, this));
}

void StageView::openPedals()
{
    presentSheet(new MIDIPedalSetupView(m_midi, this));
}

void StageView::openPartChooser()
{
    // The sheet follows the model's chooser, which this asks for.
    m_model.openPartChooser();
}

void StageView::presentPartChooserIfAsked()
{
    const auto &chooser = m_model.partChooser();
    if (!chooser) {
        if (m_partChooser)
            m_partChooser->close();
        return;
    }
    if (m_partChooser)
        m_partChooser->close();
    auto *sheet = new PartChooserView(
        *chooser, PartOptionListModel::instrumentNames(m_settings.instrumentCatalog()), this);
    sheet->onSelect = [this](const QString &optionID) { m_model.selectPart(optionID); };
    sheet->onDismiss = [this] { m_model.dismissPartChooser(); };
    m_partChooser = presentSheet(sheet);
}

void StageView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeOverlays();
}

void StageView::placeOverlays()
{
    const int margin = 12;
    const int available = std::max(width() - 2 * margin, 0);
    int top = margin;
    if (m_rail->isVisibleTo(this)) {
        m_rail->adjustSize();
        m_rail->move((width() - m_rail->width()) / 2, top);
        m_rail->raise();
        top += m_rail->height() + 8;
    }
    if (m_annotationBar->isVisibleTo(this)) {
        const QSize hint = m_annotationBar->sizeHint();
        m_annotationBar->setGeometry((width() - std::min(hint.width(), available)) / 2, top,
            std::min(hint.width(), available), hint.height());
        m_annotationBar->raise();
    }
    if (m_chip->isVisibleTo(this)) {
        m_chip->adjustSize();
        m_chip->move(width() - margin - m_chip->width(), margin);
        m_chip->raise();
    }
    int bottom = height() - margin;
    if (m_chrome->isVisibleTo(this)) {
        const QSize hint = m_chrome->sizeHint();
        const int chromeWidth = std::min(hint.width(), available);
        m_chrome->setGeometry(
            (width() - chromeWidth) / 2, bottom - hint.height(), chromeWidth, hint.height());
        m_chrome->raise();
        bottom -= hint.height() + 8;
    }
    if (m_toast->isVisibleTo(this)) {
        m_toast->setMaximumWidth(std::min(available, 620));
        m_toast->adjustSize();
        m_toast->move((width() - m_toast->width()) / 2, bottom - m_toast->height());
        m_toast->raise();
    }
}

} // namespace pgw
