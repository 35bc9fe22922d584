// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"
#include "annotations/PrivateAnnotationTool.h"
#include "stage/PageLayoutPreference.h"
#include "stage/StageLayout.h"
#include "stage/StageZoom.h"
#include "stage/StageZoomRequest.h"
#include "stage/ui/DesktopStageTransitionOverlay.h"
#include "stage/ui/PageImageLoader.h"
#include "support/Scheduler.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace pgw {

class DesktopPageSurface;
class DesktopStageDocumentView;
class DesktopStageScrollView;
class PrivateAnnotationStore;
class ShowModel;

// What the stage screen hands the page area on every update besides the model.
struct DesktopStageOptions
{
    bool invert = false;
    PrivateAnnotationStore *privateAnnotations = nullptr;
    bool annotationMode = false;
    PlayerPrivateAnnotationTool annotationTool = PlayerPrivateAnnotationTool::Pen;
    PlayerPrivateAnnotationColor annotationColor = PlayerPrivateAnnotationColor::Red;
    bool fitWidth = false;
    PageLayoutPreference pageLayout = PageLayoutPreference::OneRow;
    bool pageSeparators = true;
    StageZoomRequest zoomRequest;
};

// The page area: the pages of the model's bank as surfaces in a magnifying scroll view, decoded off the
// main thread, laid out by the stage arithmetic, sliding by one page on a turn, with the Host's page
// marked and both kinds of ink drawn over the pages. Reports clicks, keys and swipes.
class DesktopStageView : public QWidget
{
    Q_OBJECT

public:
    // A pinch or a run of zoom steps asks for new page copies once it has paused this long.
    static constexpr double rescaleDelay = 0.15;

    DesktopStageView(Scheduler &main, QWidget *parent = nullptr, PageImageLoader *loader = nullptr);
    ~DesktopStageView() override;

    std::function<void(int delta)> onPageTurn;
    // The click point relative to the visible rectangle, and the visible size, in document units.
    std::function<void(const QPointF &point, const QSizeF &size)> onTap;
    std::function<void(const std::optional<PrivateAnnotationPageKey> &key)> onPrivatePageChange;

    void apply(ShowModel *model, const DesktopStageOptions &options);

    bool reducedMotion() const { return m_reducedMotion; }
    void setReducedMotion(bool on) { m_reducedMotion = on; }

    DesktopStageScrollView *scrollView() const { return m_scrollView; }
    DesktopStageDocumentView *document() const { return m_document; }
    const QList<DesktopPageSurface *> &surfaces() const { return m_surfaces; }
    DesktopPageSurface *currentSurface() const;
    DesktopStageTransitionOverlay *transitionOverlay() const { return m_overlay; }
    const QString &displayedPageKey() const { return m_displayedPageKey; }
    // Gives the keyboard to the stage on the next turn of the event loop, unless a dialog or a text field
    // has it.
    void requestFocus();

Q_SIGNALS:
    // A decode run's pages are on the surfaces.
    void pagesInstalled();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct PageInput
    {
        QString key;
        int ordinal = 0;
        double aspectRatio = 0;
        QByteArray base;
        QByteArray marks;
        QString baseStamp;
        QString marksStamp;
    };
    // A page with what is known of its images; the images are the copies drawn at install.
    struct PageSource
    {
        PageInput input;
        QSize basePixelSize;
        // The copies drawn at install and the requests that made them.
        QImage base;
        QImage marks;
        QString baseRequest;
        QString marksRequest;
        double aspectRatio() const;
        bool aspectKnown() const;
    };
    struct Layout
    {
        StageLayout::Grid grid;
        StageLayout::BankGeometry geometry;
        std::optional<StageLayout::Zoom> zoom;
        double referenceHeight = 0;
    };
    struct DecodeRun;

    QList<PageInput> pageInputs(const QString &currentKey) const;
    QString decodeStampFor(const QList<PageInput> &inputs, const QString &currentKey) const;
    std::optional<QString> currentKeyOf() const;
    Layout computeLayout(const QList<PageSource> &pages, const QString &currentKey,
        StageLayout::ChartAspectReference &reference, bool refit) const;
    QSize deviceSizeFor(const Layout &layout, const PageSource &page, double magnification) const;
    void requestPageWindow(const StageLayout::Grid &grid);
    void decode(const QList<PageInput> &inputs, const QString &currentKey, bool refit,
        StagePageTurnTransition transition);
    void install(const QList<PageSource> &pages, const QString &currentKey, bool refit,
        StagePageTurnTransition transition);
    void layoutDocument(bool refit);
    // `deferImages` waits for the magnification to settle before asking for copies of the new size; until
    // then the surfaces stretch what they have.
    void placeDocument(bool deferImages = false);
    void refreshImages();
    PageImageLoader::Request imageRequest(const PageSource &page, bool marks, const QSize &target) const;
    void applyZoomAction(StageZoomAction action);
    void clampCamera();
    void updateActiveIndicator();
    void refreshInk();
    void refreshPrivateAnnotationViews();
    void handleClick(const QPointF &documentPixel);
    bool canTurnOnAxis(Qt::Orientation axis) const;
    void animatePageTurn(const QPixmap &from, StagePageTurnTransition transition);
    void cancelPageTurnAnimation();
    QPixmap snapshot() const;

    Scheduler &m_main;
    PageImageLoader &m_loader;
    DesktopStageScrollView *m_scrollView;
    DesktopStageDocumentView *m_document;
    QList<DesktopPageSurface *> m_surfaces;
    QList<PageSource> m_installed;
    Layout m_layout;
    QPointer<ShowModel> m_model;
    QPointer<PrivateAnnotationStore> m_privateAnnotations;
    bool m_annotationMode = false;
    PlayerPrivateAnnotationTool m_annotationTool = PlayerPrivateAnnotationTool::Pen;
    PlayerPrivateAnnotationColor m_annotationColor = PlayerPrivateAnnotationColor::Red;
    bool m_invert = false;
    QString m_activePageKey;
    bool m_fitWidth = false;
    PageLayoutPreference m_pageLayout = PageLayoutPreference::OneRow;
    bool m_pageSeparators = true;
    QString m_decodeStamp;
    QString m_displayedPageKey;
    std::optional<QString> m_displayedChartIdentity;
    StageLayout::ChartAspectReference m_chartAspectReference;
    bool m_pendingChartRefit = false;
    qint64 m_lastZoomRequestGeneration = 0;
    int m_decodeGeneration = 0;
    int m_lastInkGeneration = -1;
    QSizeF m_lastViewportSize;
    bool m_clampingCamera = false;
    QRectF m_bankCameraFrame;
    StageLayout::Grid m_grid;
    std::optional<StageLayout::PageWindow> m_requestedPageWindow;
    QPointer<DesktopStageTransitionOverlay> m_overlay;
    int m_pageTransitionGeneration = 0;
    std::optional<PrivateAnnotationPageKey> m_reportedPrivatePageKey;
    bool m_reducedMotion = false;
    QPointer<QWidget> m_watchedWindow;
    TaskHandle m_deferredImages;
};

} // namespace pgw
