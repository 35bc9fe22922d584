// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DiscoveredHost.h"
#include "support/Scheduler.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QVBoxLayout;

namespace pgw {

class AppController;

class DiscoveredHostListModel;
class JoinLinkDialog;
class SavedShowListModel;

// Where the musician starts: a name, the Hosts nearby, the demo, the sheets and the saved shows.
class LobbyView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double longSearch = 5.0;
    static inline const QString searchingText = QStringLiteral("Looking for a Mac running Pagewright…");
    static inline const QString longSearchText
        = QStringLiteral("No live show found. On the Host Mac, open Pagewright and start Troupe "
                         "Mode.\n\nKeep Wi-Fi on and allow "
                         "Local Network access. To connect directly, disconnect the venue network on both "
                         "devices without turning "
                         "Wi-Fi off. In Troupe Mode, choose Player app and scan its QR code.");

    LobbyView(Scheduler &main, AppController &controller, QWidget *parent = nullptr);
    ~LobbyView() override;

    std::function<void()> onInstruments;
    std::function<void()> onPedals;
    std::function<void()> onPageLayout;

    // The Host a join would use: the one last clicked while it is listed, else the first.
    std::optional<DiscoveredHost> selectedHost() const;
    bool canJoin() const;
    void join(bool turnsPagesLocally);
    // The dialog that joins from a pasted or dropped link or a picture of the Host's QR code.
    JoinLinkDialog *openJoinDialog();

protected:
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshHosts();
    void refreshJoin();
    void refreshSheetButtons();
    void rebuildSavedShows();
    void confirmDelete(const QString &showID, const QString &title);

    Scheduler &m_main;
    AppController &m_controller;
    DiscoveredHostListModel *m_hosts;
    SavedShowListModel *m_savedShows;
    QString m_selectedHostID;
    bool m_searchedLongEnough = false;
    TaskHandle m_searchTimer;
    QPointer<JoinLinkDialog> m_joinDialog;

    QLineEdit *m_name = nullptr;
    QListView *m_hostList = nullptr;
    QLabel *m_searching = nullptr;
    QLabel *m_longSearch = nullptr;
    QPushButton *m_follow = nullptr;
    QPushButton *m_ownPages = nullptr;
    QPushButton *m_instruments = nullptr;
    QPushButton *m_pedals = nullptr;
    QPushButton *m_layout = nullptr;
    QVBoxLayout *m_savedRows = nullptr;
    QLabel *m_noSavedShows = nullptr;
    QLabel *m_deleteFailure = nullptr;
};

} // namespace pgw
