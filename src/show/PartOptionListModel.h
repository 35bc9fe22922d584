// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/PlayerInstrumentCatalog.h"
#include "show/PlayerPart.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>

namespace pgw {

// The part chooser's rows: the master score first, then the chooser's options in its order, those for
// the player's instruments or all of them, narrowed by a search over labels, instrument ids and
// instrument names.
class PartOptionListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum class Scope { Mine, All };
    Q_ENUM(Scope)

    enum Role {
        SubtitleRole = Qt::UserRole + 1,
        OptionIdRole,
        SelectedRole,
    };
    Q_ENUM(Role)

    // Starts without a search, in the scope the chooser should appear in.
    PartOptionListModel(const PlayerPartChooser &chooser, const QHash<QString, QString> &instrumentNames,
        QObject *parent = nullptr);

    // The segment titles.
    static QString scopeTitle(Scope scope);
    // Mine only when some option matches the player's instruments and the current choice is one of
    // them or the master, so the choice is always in view.
    static Scope initialScope(const PlayerPartChooser &chooser);
    // Each instrument's label by id.
    static QHash<QString, QString> instrumentNames(const PlayerInstrumentCatalog &catalog);

    const PlayerPartChooser &chooser() const { return m_chooser; }
    Scope scope() const { return m_scope; }
    void setScope(Scope scope);
    // Trimmed and lowercased.
    QString query() const { return m_query; }
    void setQuery(const QString &query);
    // Shown instead of the option rows when none is visible; empty otherwise.
    QString emptyMessage() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void update(Scope scope, const QString &query);
    bool matchesQuery(const PlayerPartOption &option) const;
    QString subtitle(const PlayerPartOption &option) const;

    const PlayerPartChooser m_chooser;
    const QHash<QString, QString> m_names;
    Scope m_scope = Scope::Mine;
    QString m_query;
    QList<PlayerPartOption> m_visible;
};

} // namespace pgw
