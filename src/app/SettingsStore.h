// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationTool.h"
#include "show/PlayerInstrumentCatalog.h"
#include "stage/PageLayoutPreference.h"
#include "stage/StageZoomRequest.h"

#include <QHash>
#include <QObject>
#include <QSet>

namespace pgw {

class DefaultsStore;

// The musician's preferences, observable and written through to the defaults store on every change.
class SettingsStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool invert READ invert WRITE setInvert NOTIFY invertChanged)
    Q_PROPERTY(bool fitWidth READ fitWidth WRITE setFitWidth NOTIFY fitWidthChanged)
    Q_PROPERTY(
        pgw::PageLayoutPreference pageLayout READ pageLayout WRITE setPageLayout NOTIFY pageLayoutChanged)
    Q_PROPERTY(bool pageSeparators READ pageSeparators WRITE setPageSeparators NOTIFY pageSeparatorsChanged)
    Q_PROPERTY(pgw::StageZoomRequest zoomRequest READ zoomRequest NOTIFY zoomRequestChanged)
    Q_PROPERTY(bool autoReturn READ autoReturn WRITE setAutoReturn NOTIFY autoReturnChanged)
    Q_PROPERTY(bool turnsPagesLocally READ turnsPagesLocally WRITE setTurnsPagesLocally NOTIFY
            turnsPagesLocallyChanged)
    Q_PROPERTY(pgw::PlayerPrivateAnnotationTool privateAnnotationTool READ privateAnnotationTool WRITE
            setPrivateAnnotationTool NOTIFY privateAnnotationToolChanged)
    Q_PROPERTY(pgw::PlayerPrivateAnnotationColor privateAnnotationColor READ privateAnnotationColor WRITE
            setPrivateAnnotationColor NOTIFY privateAnnotationColorChanged)

public:
    explicit SettingsStore(DefaultsStore &defaults, QObject *parent = nullptr);

    bool invert() const { return m_invert; }
    void setInvert(bool on);
    bool fitWidth() const { return m_fitWidth; }
    void setFitWidth(bool on);
    PageLayoutPreference pageLayout() const { return m_pageLayout; }
    void setPageLayout(PageLayoutPreference layout);
    bool pageSeparators() const { return m_pageSeparators; }
    void setPageSeparators(bool on);
    StageZoomRequest zoomRequest() const { return m_zoomRequest; }
    void requestZoom(StageZoomAction action);
    bool autoReturn() const { return m_autoReturn; }
    void setAutoReturn(bool on);
    bool turnsPagesLocally() const { return m_turnsPagesLocally; }
    void setTurnsPagesLocally(bool on);
    PlayerPrivateAnnotationTool privateAnnotationTool() const { return m_tool; }
    void setPrivateAnnotationTool(PlayerPrivateAnnotationTool tool);
    PlayerPrivateAnnotationColor privateAnnotationColor() const { return m_color; }
    void setPrivateAnnotationColor(PlayerPrivateAnnotationColor color);

    const QSet<QString> &myInstrumentIDs() const { return m_myInstrumentIDs; }
    void setInstrument(const QString &id, bool selected);
    const PlayerInstrumentCatalog &instrumentCatalog() const { return m_instrumentCatalog; }
    void updateInstrumentCatalog(const PlayerInstrumentCatalog &catalog);
    const QHash<QString, QString> &partChoicesBySongKey() const { return m_partChoices; }
    void savePartChoice(const QString &partID, const QString &songKey);

Q_SIGNALS:
    void invertChanged();
    void fitWidthChanged();
    void pageLayoutChanged();
    void pageSeparatorsChanged();
    void zoomRequestChanged();
    void autoReturnChanged();
    void turnsPagesLocallyChanged();
    void privateAnnotationToolChanged();
    void privateAnnotationColorChanged();
    void myInstrumentIDsChanged();
    void instrumentCatalogChanged();
    void partChoicesBySongKeyChanged();

private:
    void load();
    bool storedBool(QLatin1StringView key, bool fallback) const;
    template<typename T>
    bool change(T &field, const T &value, void (SettingsStore::*changed)());
    void setBool(bool &field, bool value, QLatin1StringView key, void (SettingsStore::*changed)());

    DefaultsStore &m_defaults;
    bool m_invert = false;
    bool m_fitWidth = false;
    PageLayoutPreference m_pageLayout = PageLayoutPreference::OneRow;
    bool m_pageSeparators = true;
    StageZoomRequest m_zoomRequest;
    bool m_autoReturn = true;
    bool m_turnsPagesLocally = false;
    PlayerPrivateAnnotationTool m_tool = PlayerPrivateAnnotationTool::Pen;
    PlayerPrivateAnnotationColor m_color = PlayerPrivateAnnotationColor::Red;
    QSet<QString> m_myInstrumentIDs;
    PlayerInstrumentCatalog m_instrumentCatalog;
    QHash<QString, QString> m_partChoices;
};

} // namespace pgw
