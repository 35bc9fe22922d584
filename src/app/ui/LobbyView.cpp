// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/LobbyView.h"

#include "app/AppController.h"
#include "app/ui/JoinLinkDialog.h"
#include "app/ui/Sheets.h"
#include "link/DiscoveredHostListModel.h"
#include "link/PlayerJoinLink.h"
#include "saved/SavedShowListModel.h"
#include "stage/ui/StageStyle.h"

#include <QAction>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// The Host application's download page, given at build time; without one the link is not shown.
constexpr QLatin1StringView hostDownloadUrl {PGW_HOST_DOWNLOAD_URL};

QLabel *sectionHeading(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(StageStyle::mono(11));
    label->setStyleSheet(
        u"color: %1; letter-spacing: 1px; margin-top: 14px;"_s.arg(StageStyle::css(StageStyle::dim())));
    return label;
}

QLabel *note(const QString &text, QWidget *parent, double opacity = 1.0)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    QColor color = StageStyle::dim();
    color.setAlphaF(float(opacity));
    label->setStyleSheet(u"color: %1;"_s.arg(StageStyle::css(color)));
    return label;
}

// A button that reads as a link, in the accent colour.
QPushButton *linkButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(u"QPushButton { color: %1; text-align: left; padding: 4px 0; }"_s.arg(
        StageStyle::css(StageStyle::brass())));
    return button;
}

QString trimmedName(const QString &name)
{
    // Spaces and tabs only: a line break is part of what was typed.
    qsizetype start = 0;
    qsizetype end = name.size();
    while (start < end && (name[start] == u' ' || name[start] == u'\t'))
        ++start;
    while (end > start && (name[end - 1] == u' ' || name[end - 1] == u'\t'))
        --end;
    return name.sliced(start, end - start);
}

} // namespace

LobbyView::LobbyView(Scheduler &main, AppController &controller, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
    , m_controller(controller)
    , m_hosts(new DiscoveredHostListModel(this))
    , m_savedShows(new SavedShowListModel(controller.downloads(), this))
{
    setObjectName(u"lobby"_s);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *centre = new QHBoxLayout(page);
    auto *column = new QWidget(page);
    column->setMaximumWidth(620);
    centre->addWidget(column);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(24, 28, 24, 28);
    layout->setSpacing(8);

    auto *title = new QLabel(
        u"Pagewright <span style=\"color:%1\">Player</span>"_s.arg(StageStyle::css(StageStyle::brass())),
        column);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);
    layout->addWidget(note(u"A native music stand for Pagewright shows"_s, column));
    layout->addSpacing(10);

    m_name = new QLineEdit(column);
    m_name->setObjectName(u"player-name"_s);
    m_name->setPlaceholderText(u"your name"_s);
    m_name->setAccessibleName(u"your name"_s);
    m_name->setText(controller.playerName());
    connect(m_name, &QLineEdit::textEdited, &controller, &AppController::setPlayerName);
    connect(&controller, &AppController::playerNameChanged, m_name, [this] {
        if (m_name->text() != m_controller.playerName())
            m_name->setText(m_controller.playerName());
    });
    connect(m_name, &QLineEdit::textChanged, this, &LobbyView::refreshJoin);
    layout->addWidget(m_name);

    layout->addWidget(sectionHeading(u"NEARBY PAGEWRIGHT HOSTS"_s, column));
    m_hostList = new QListView(column);
    m_hostList->setObjectName(u"host-list"_s);
    m_hostList->setModel(m_hosts);
    m_hostList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_hostList->setSpacing(2);
    m_hostList->setStyleSheet(
        u"QListView { background: transparent; border: none; }"
        "QListView::item { background: rgb(36, 43, 59); border-radius: 6px; padding: 9px; }"
        "QListView::item:selected { background: %1; color: #15110a; }"_s.arg(
            StageStyle::css(StageStyle::brass())));
    connect(m_hostList, &QListView::clicked, this, [this](const QModelIndex &index) {
        m_selectedHostID = index.data(DiscoveredHostListModel::IdRole).toString();
        refreshHosts();
    });
    layout->addWidget(m_hostList);
    m_searching = note(searchingText, column);
    m_searching->setObjectName(u"searching"_s);
    layout->addWidget(m_searching);
    m_longSearch = note(longSearchText, column, 0.8);
    m_longSearch->setObjectName(u"long-search-help"_s);
    layout->addWidget(m_longSearch);

    m_follow = new QPushButton(u"Join and follow the Host"_s, column);
    m_follow->setObjectName(u"join-follow"_s);
    m_follow->setDefault(true);
    m_follow->setStyleSheet(
        u"QPushButton { background: %1; color: #15110a; border-radius: 6px; padding: 9px; font-weight: bold; "
        u"}"
        "QPushButton:disabled { background: rgb(74, 66, 48); color: rgb(20, 18, 14); }"
        "QPushButton:focus { border: 2px solid #f5f0e6; }"_s.arg(StageStyle::css(StageStyle::brass())));
    m_ownPages = new QPushButton(u"Join this Host — I’ll turn my own pages"_s, column);
    m_ownPages->setObjectName(u"join-own-pages"_s);
    connect(m_follow, &QPushButton::clicked, this, [this] { join(false); });
    connect(m_ownPages, &QPushButton::clicked, this, [this] { join(true); });
    layout->addSpacing(6);
    layout->addWidget(m_follow);
    layout->addWidget(m_ownPages);

    // A desktop has no system scanner for the Host's QR code, so the lobby reads it, or its link, itself.
    auto *withLink = new QPushButton(u"Join with a link or QR code…"_s, column);
    withLink->setObjectName(u"join-with-link"_s);
    withLink->setToolTip(u"Paste, drop or scan the Host’s join link or QR code (Ctrl+L)"_s);
    connect(withLink, &QPushButton::clicked, this, &LobbyView::openJoinDialog);
    layout->addWidget(withLink);
    auto *openDialog = new QAction(this);
    openDialog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    openDialog->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(openDialog, &QAction::triggered, this, &LobbyView::openJoinDialog);
    addAction(openDialog);
    // The name field keeps its own paste of a name (a line edit claims the keys it edits with), but
    // hands on a picture or a join link: see eventFilter.
    m_name->installEventFilter(this);
    auto *paste = new QAction(this);
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(paste, &QAction::triggered, this, [this] { openJoinDialog()->pasteClipboard(); });
    addAction(paste);
    setAcceptDrops(true);

    auto *demo = linkButton(u"No Host nearby? Watch the demo."_s, u"watch-demo"_s, column);
    connect(demo, &QPushButton::clicked, &controller, &AppController::startDemo);
    layout->addWidget(demo);
    layout->addWidget(
        note(u"Live shows require a Mac running Pagewright Host. The demo and previously saved shows work "
             "without one."_s,
            column));
    auto *hostLink
        = linkButton(u"Want to run the show? Get Pagewright for Mac ↗"_s, u"macHostUpgradeLink"_s, column);
    hostLink->setVisible(!hostDownloadUrl.isEmpty());
    connect(hostLink, &QPushButton::clicked, this,
        [] { QDesktopServices::openUrl(QUrl(QString(hostDownloadUrl))); });
    layout->addWidget(hostLink);

    auto *sheets = new QHBoxLayout;
    m_instruments = new QPushButton(column);
    m_instruments->setObjectName(u"lobby-instruments"_s);
    m_pedals = new QPushButton(column);
    m_pedals->setObjectName(u"lobby-pedals"_s);
    m_layout = new QPushButton(column);
    m_layout->setObjectName(u"lobby-page-layout"_s);
    for (QPushButton *sheet : {m_instruments, m_pedals, m_layout})
        sheets->addWidget(sheet);
    connect(m_instruments, &QPushButton::clicked, this, [this] {
        if (onInstruments)
            onInstruments();
    });
    connect(m_pedals, &QPushButton::clicked, this, [this] {
        if (onPedals)
            onPedals();
    });
    connect(m_layout, &QPushButton::clicked, this, [this] {
        if (onPageLayout)
            onPageLayout();
    });
    layout->addSpacing(10);
    layout->addLayout(sheets);

    layout->addWidget(sectionHeading(u"SAVED SHOWS"_s, column));
    m_noSavedShows
        = note(u"No saved shows yet.\n\nJoin a live show and choose “Save for Practice.” When the show is "
               "marked Ready, it can open here without the Host or a network."_s,
            column);
    m_noSavedShows->setObjectName(u"no-saved-shows"_s);
    layout->addWidget(m_noSavedShows);
    m_savedRows = new QVBoxLayout;
    m_savedRows->setSpacing(4);
    layout->addLayout(m_savedRows);
    m_deleteFailure = new QLabel(column);
    m_deleteFailure->setObjectName(u"delete-failure"_s);
    m_deleteFailure->setFont(StageStyle::mono(11));
    m_deleteFailure->setWordWrap(true);
    m_deleteFailure->setStyleSheet(u"color: %1;"_s.arg(StageStyle::css(StageStyle::warning())));
    layout->addWidget(m_deleteFailure);
    layout->addStretch();

    connect(&controller, &AppController::hostsChanged, this, &LobbyView::refreshHosts);
    connect(m_savedShows, &QAbstractItemModel::modelReset, this, &LobbyView::rebuildSavedShows);
    connect(&controller.downloads(), &DownloadedShowLibrary::lastDeleteFailureChanged, this,
        &LobbyView::rebuildSavedShows);
    connect(&controller.settings(), &SettingsStore::myInstrumentIDsChanged, this,
        &LobbyView::refreshSheetButtons);
    connect(&controller.settings(), &SettingsStore::pageLayoutChanged, this, &LobbyView::refreshSheetButtons);
    connect(&controller.midi(), &MIDIPageTurnController::previousBindingChanged, this,
        &LobbyView::refreshSheetButtons);
    connect(&controller.midi(), &MIDIPageTurnController::nextBindingChanged, this,
        &LobbyView::refreshSheetButtons);
    refreshHosts();
    refreshSheetButtons();
    rebuildSavedShows();
}

LobbyView::~LobbyView()
{
    m_searchTimer.cancel();
}

void LobbyView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_searchTimer.isActive() || m_searchedLongEnough)
        return;
    m_searchTimer = m_main.postAfter(longSearch, [self = QPointer(this)] {
        if (!self)
            return;
        self->m_searchedLongEnough = true;
        self->refreshHosts();
    });
}

void LobbyView::dragEnterEvent(QDragEnterEvent *event)
{
    if (JoinLinkDialog::canTake(*event->mimeData()))
        event->acceptProposedAction();
}

void LobbyView::dropEvent(QDropEvent *event)
{
    openJoinDialog()->take(*event->mimeData());
    event->acceptProposedAction();
}

bool LobbyView::eventFilter(QObject *watched, QEvent *event)
{
    // Left unclaimed by the field, the paste key reaches the lobby's own paste.
    if (watched == m_name && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)
        && JoinLinkDialog::clipboardIsForJoining())
        return true;
    return QWidget::eventFilter(watched, event);
}

JoinLinkDialog *LobbyView::openJoinDialog()
{
    if (m_joinDialog) {
        m_joinDialog->raise();
        m_joinDialog->activateWindow();
        return m_joinDialog;
    }
    m_joinDialog = new JoinLinkDialog(m_main, m_controller, this);
    // The Host of the link is the one a later join uses.
    connect(m_joinDialog, &JoinLinkDialog::joinLinkOpened, this, [this](const QUrl &url) {
        if (const auto host = PlayerJoinLink::discoveredHost(url)) {
            m_selectedHostID = host->id;
            refreshHosts();
        }
    });
    presentSheet(m_joinDialog);
    return m_joinDialog;
}

std::optional<DiscoveredHost> LobbyView::selectedHost() const
{
    const QList<DiscoveredHost> &hosts = m_hosts->hosts();
    for (const DiscoveredHost &host : hosts) {
        if (host.id == m_selectedHostID)
            return host;
    }
    return hosts.isEmpty() ? std::nullopt : std::optional(hosts.first());
}

bool LobbyView::canJoin() const
{
    return selectedHost() && !trimmedName(m_name->text()).isEmpty();
}

void LobbyView::join(bool turnsPagesLocally)
{
    const auto host = selectedHost();
    const QString name = trimmedName(m_name->text());
    if (host && !name.isEmpty())
        m_controller.join(*host, name, turnsPagesLocally);
}

void LobbyView::refreshHosts()
{
    m_hosts->setHosts(m_controller.hosts());
    const bool any = m_hosts->rowCount() > 0;
    m_hostList->setVisible(any);
    m_searching->setVisible(!any);
    m_longSearch->setVisible(!any && m_searchedLongEnough);
    if (const auto host = selectedHost()) {
        const QModelIndexList found = m_hosts->match(
            m_hosts->index(0), DiscoveredHostListModel::IdRole, host->id, 1, Qt::MatchExactly);
        if (!found.isEmpty())
            m_hostList->setCurrentIndex(found.first());
    }
    const int rows = std::min(m_hosts->rowCount(), 5);
    m_hostList->setFixedHeight(std::max(rows, 1) * (m_hostList->sizeHintForRow(0) + 4) + 6);
    refreshJoin();
}

void LobbyView::refreshJoin()
{
    const bool enabled = canJoin();
    m_follow->setEnabled(enabled);
    m_ownPages->setEnabled(enabled);
}

void LobbyView::refreshSheetButtons()
{
    const SettingsStore &settings = m_controller.settings();
    const qsizetype instruments = settings.myInstrumentIDs().size();
    m_instruments->setText(
        instruments == 0 ? u"My Instruments"_s : u"My Instruments · %1"_s.arg(instruments));
    const MIDIPageTurnController &midi = m_controller.midi();
    const int pedals = int(midi.previousBinding().has_value()) + int(midi.nextBinding().has_value());
    m_pedals->setText(pedals == 0 ? u"MIDI Pedals"_s : u"MIDI Pedals · %1"_s.arg(pedals));
    m_layout->setText(u"Page Layout · "_s + pageLayoutLabel(settings.pageLayout()));
}

void LobbyView::rebuildSavedShows()
{
    while (QLayoutItem *item = m_savedRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const int count = m_savedShows->rowCount();
    m_noSavedShows->setVisible(count == 0);
    for (int row = 0; row < count; ++row) {
        const QModelIndex index = m_savedShows->index(row);
        const QString id = index.data(SavedShowListModel::IdRole).toString();
        const QString title = index.data().toString();
        const bool openable = index.data(SavedShowListModel::OpenableRole).toBool();

        auto *line = new QFrame(this);
        line->setObjectName(u"saved-show"_s);
        line->setStyleSheet(u"QFrame#saved-show { background: rgb(28, 33, 43); border-radius: 6px; }"_s);
        auto *rowLayout = new QHBoxLayout(line);
        auto *icon = new QLabel(openable ? u"✓"_s : u"↓"_s, line);
        icon->setObjectName(openable ? u"checkmark.circle.fill"_s : u"arrow.down.circle"_s);
        icon->setAlignment(Qt::AlignCenter);
        icon->setFixedSize(22, 22);
        icon->setStyleSheet(openable
                ? u"background: %1; color: #15110a; border-radius: 11px; font-weight: bold;"_s.arg(
                    StageStyle::css(StageStyle::complete()))
                : u"border: 1.5px solid %1; color: %1; border-radius: 11px;"_s.arg(
                    StageStyle::css(StageStyle::dim())));
        rowLayout->addWidget(icon);
        auto *texts = new QVBoxLayout;
        texts->addWidget(new QLabel(title, line));
        auto *status = note(index.data(SavedShowListModel::StatusTextRole).toString(), line);
        status->setFont(StageStyle::mono(11));
        texts->addWidget(status);
        rowLayout->addLayout(texts, 1);
        auto *open = new QPushButton(u"Open offline"_s, line);
        open->setObjectName(u"open-offline"_s);
        open->setAccessibleName(u"Open offline "_s + title);
        open->setEnabled(openable);
        connect(open, &QPushButton::clicked, this, [this, id] { m_controller.startPractice(id); });
        rowLayout->addWidget(open);
        auto *trash = new QToolButton(line);
        trash->setObjectName(u"delete-saved-show"_s);
        trash->setText(u"🗑"_s);
        trash->setAccessibleName(u"Delete "_s + title);
        trash->setToolTip(u"Delete "_s + title);
        trash->setStyleSheet(u"QToolButton { color: %1; }"_s.arg(StageStyle::css(StageStyle::warning())));
        connect(trash, &QToolButton::clicked, this, [this, id, title] { confirmDelete(id, title); });
        rowLayout->addWidget(trash);
        m_savedRows->addWidget(line);
    }
    const auto failure = m_controller.downloads().lastDeleteFailure();
    m_deleteFailure->setText(failure.value_or(QString()));
    m_deleteFailure->setVisible(failure.has_value());
}

void LobbyView::confirmDelete(const QString &showID, const QString &title)
{
    auto *confirm = new QMessageBox(QMessageBox::Warning, u"Delete Saved Show"_s,
        u"Delete this saved show?"_s, QMessageBox::NoButton, this);
    confirm->setObjectName(u"delete-confirmation"_s);
    confirm->setInformativeText(u"Its saved score pages and parts will be removed from this device."_s);
    confirm->setAccessibleDescription(title);
    QPushButton *remove = confirm->addButton(u"Delete Saved Show"_s, QMessageBox::DestructiveRole);
    confirm->addButton(QMessageBox::Cancel)->setText(u"Cancel"_s);
    connect(confirm, &QMessageBox::finished, this, [this, confirm, remove, showID] {
        if (confirm->clickedButton() == remove)
            m_controller.downloads().deleteShow(showID);
    });
    presentSheet(confirm);
}

} // namespace pgw
