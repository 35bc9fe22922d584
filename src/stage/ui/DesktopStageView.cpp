// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopStageView.h"

#include "annotations/PrivateAnnotationStore.h"
#include "annotations/ui/PrivateAnnotationCanvasView.h"
#include "show/ShowModel.h"
#include "stage/StageTurns.h"
#include "stage/ui/DesktopInkView.h"
#include "stage/ui/DesktopPageSurface.h"
#include "stage/ui/DesktopStageDocumentView.h"
#include "stage/ui/DesktopStageScrollView.h"
#include "stage/ui/KeyboardFocus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScrollBar>

#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// A frame in bank units as widget pixels at magnification `m`; sizes round the same way wherever a
// surface's size is predicted.
QRect pixelRect(const QRectF &frame, double m)
{
    return QRect(QPoint(qRound(frame.x() * m), qRound(frame.y() * m)),
        QSize(qRound(frame.width() * m), qRound(frame.height() * m)));
}

// Text being typed, or a control reached with the keyboard, keeps the keys.
bool focusBelongsElsewhere()
{
    return textInputHasFocus() || qobject_cast<QAbstractButton *>(QApplication::focusWidget());
}

} // namespace

// One decode of an input set: the current page's images must be answered before it is installed.
struct DesktopStageView::DecodeRun
{
    QList<PageSource> pages;
    QString currentKey;
    bool refit = false;
    StagePageTurnTransition transition = StagePageTurnTransition::None;
    int generation = 0;
    int pending = 0;
    bool armed = false;
};

double DesktopStageView::PageSource::aspectRatio() const
{
    if (StageLayout::isPositiveFinite(input.aspectRatio))
        return input.aspectRatio;
    if (basePixelSize.width() > 0 && basePixelSize.height() > 0)
        return double(basePixelSize.height()) / basePixelSize.width();
    return 1.0;
}

bool DesktopStageView::PageSource::aspectKnown() const
{
    return StageLayout::isPositiveFinite(input.aspectRatio) || !basePixelSize.isEmpty();
}

DesktopStageView::DesktopStageView(Scheduler &main, QWidget *parent, PageImageLoader *loader)
    : QWidget(parent)
    , m_main(main)
    , m_loader(loader ? *loader : PageImageLoader::shared())
    , m_scrollView(new DesktopStageScrollView(main, this))
    , m_document(new DesktopStageDocumentView)
{
    setObjectName(u"stage-view"_s);
    m_scrollView->setWidget(m_document);
    m_scrollView->onPageTurn = [this](int delta) {
        if (onPageTurn)
            onPageTurn(delta);
    };
    m_scrollView->onViewportChange = [this] { placeDocument(true); };
    m_scrollView->onScroll = [this] { clampCamera(); };
    m_scrollView->canTurnOnAxis = [this](Qt::Orientation axis) { return canTurnOnAxis(axis); };
    m_document->onClick = [this](const QPointF &at) { handleClick(at); };
    m_document->onDrag = [this](const QPointF &delta) {
        QScrollBar *x = m_scrollView->horizontalScrollBar();
        QScrollBar *y = m_scrollView->verticalScrollBar();
        x->setValue(x->value() - qRound(delta.x()));
        y->setValue(y->value() - qRound(delta.y()));
    };
    m_document->onDragFinished = [this](const QPointF &total) {
        if (std::hypot(total.x(), total.y()) >= DesktopStageScrollView::swipeDistance)
            m_scrollView->swipe(total.x(), total.y());
    };
}

DesktopStageView::~DesktopStageView()
{
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
}

DesktopPageSurface *DesktopStageView::currentSurface() const
{
    for (DesktopPageSurface *surface : m_surfaces) {
        if (!m_displayedPageKey.isEmpty() && surface->pageKey == m_displayedPageKey)
            return surface;
    }
    return nullptr;
}

std::optional<QString> DesktopStageView::currentKeyOf() const
{
    if (!m_model || m_model->stagePages().isEmpty())
        return std::nullopt;
    return m_model->stagePages().constFirst().key;
}

QList<DesktopStageView::PageInput> DesktopStageView::pageInputs(const QString &currentKey) const
{
    QList<PageInput> inputs;
    if (!m_model)
        return inputs;
    const StagePageList bank = m_model->bankPages();
    const StagePageList pages = bank.isEmpty() ? m_model->stagePages() : bank;
    for (const StagePage &page : pages) {
        PageInput input {page.key, page.ordinal,
            page.pixelWidth > 0 && page.pixelHeight > 0 ? page.pixelHeight / page.pixelWidth : qQNaN(),
            page.basePNG.value_or(QByteArray()), page.marksPNG.value_or(QByteArray()), page.baseVersion,
            page.marksVersion.value_or(u"-"_s)};
        if (!currentKey.isEmpty() && page.key == currentKey) {
            // The model's displayed images may be newer than the bank's copy.
            if (!m_model->basePNG().isNull())
                input.base = m_model->basePNG();
            input.marks = m_model->marksPNG();
        }
        inputs.append(input);
    }
    if (pages.isEmpty() && !m_model->basePNG().isNull()) {
        const QByteArray marks = m_model->marksPNG();
        inputs.append(
            {m_model->shownKey(), std::max(m_model->displayedPage(), 0), qQNaN(), m_model->basePNG(), marks,
                m_model->shownKey(), QString::number(marks.isNull() ? -1 : marks.size())});
    }
    return inputs;
}

QString DesktopStageView::decodeStampFor(const QList<PageInput> &inputs, const QString &currentKey) const
{
    QStringList parts;
    for (const PageInput &input : inputs) {
        parts.append(input.key + u':' + input.baseStamp + u':' + QString::number(input.base.size()) + u':'
            + QString::number(input.marks.size()) + u':' + input.marksStamp);
    }
    parts.append(u"invert="_s + (m_invert ? u"true"_s : u"false"_s));
    parts.append(u"current="_s + (currentKey.isEmpty() ? u"-"_s : currentKey));
    parts.append(u"layout="_s + pageLayoutRawValue(m_pageLayout));
    parts.append(u"separators="_s + (m_pageSeparators ? u"true"_s : u"false"_s));
    parts.append(u"chart="_s + m_displayedChartIdentity.value_or(u"-"_s));
    return parts.join(u'|');
}

void DesktopStageView::apply(ShowModel *model, const DesktopStageOptions &options)
{
    m_model = model;
    m_privateAnnotations = options.privateAnnotations;
    m_annotationMode = options.annotationMode;
    m_annotationTool = options.annotationTool;
    m_annotationColor = options.annotationColor;
    m_invert = options.invert;
    m_activePageKey = !model                    ? QString()
        : !model->bankActivePageKey().isEmpty() ? model->bankActivePageKey()
                                                : model->activePageKey();
    const QString currentKey = currentKeyOf().value_or(QString());

    std::optional<StageZoomAction> zoomAction;
    bool resetAsked = false;
    if (options.zoomRequest.generation != m_lastZoomRequestGeneration) {
        m_lastZoomRequestGeneration = options.zoomRequest.generation;
        if (options.zoomRequest.action == StageZoomAction::Reset)
            resetAsked = true;
        else
            zoomAction = options.zoomRequest.action;
    }

    const std::optional<QString> identity = model ? model->displayedChartIdentity() : std::nullopt;
    const bool chartChanged = identity && identity != m_displayedChartIdentity;
    if (chartChanged)
        m_pendingChartRefit = true;
    m_displayedChartIdentity = identity;

    const bool layoutChanged = options.pageLayout != m_pageLayout;
    const bool separatorsChanged = options.pageSeparators != m_pageSeparators;
    const bool fitWidthChanged = options.fitWidth != m_fitWidth;
    m_pageLayout = options.pageLayout;
    m_pageSeparators = options.pageSeparators;
    m_fitWidth = options.fitWidth;
    if (layoutChanged || separatorsChanged || fitWidthChanged || resetAsked)
        layoutDocument(true);

    const QList<PageInput> inputs = pageInputs(currentKey);
    const QString stamp = decodeStampFor(inputs, currentKey);
    if (stamp != m_decodeStamp) {
        std::optional<int> oldOrdinal;
        if (const DesktopPageSurface *surface = currentSurface())
            oldOrdinal = surface->ordinal;
        std::optional<int> newOrdinal;
        for (const PageInput &input : inputs) {
            if (!currentKey.isEmpty() && input.key == currentKey)
                newOrdinal = input.ordinal;
        }
        StagePageTurnTransition transition = StagePageTurnTransition::None;
        if (oldOrdinal && newOrdinal && *newOrdinal == *oldOrdinal + 1)
            transition = StagePageTurnTransition::Forward;
        else if (oldOrdinal && newOrdinal && *newOrdinal == *oldOrdinal - 1)
            transition = StagePageTurnTransition::Backward;
        if (m_reducedMotion || chartChanged || layoutChanged || separatorsChanged
            || m_grid.columns * m_grid.rows != 1)
            transition = StagePageTurnTransition::None;

        m_decodeStamp = stamp;
        const bool refit = layoutChanged || separatorsChanged || fitWidthChanged || m_pendingChartRefit;
        decode(inputs, currentKey, refit, transition);
    } else {
        updateActiveIndicator();
    }

    if (zoomAction)
        applyZoomAction(*zoomAction);
    if (model && model->inkGeneration() != m_lastInkGeneration) {
        m_lastInkGeneration = model->inkGeneration();
        refreshInk();
    }
    refreshPrivateAnnotationViews();
}

DesktopStageView::Layout DesktopStageView::computeLayout(const QList<PageSource> &pages,
    const QString &currentKey, StageLayout::ChartAspectReference &reference, bool refit) const
{
    using namespace StageLayout;
    const QSizeF viewport = m_scrollView->size();
    const double separators = separatorPoints(m_pageSeparators);
    const PageSource *current = nullptr;
    QList<PageAspectMetadata> metadata;
    QHash<int, double> aspects;
    for (const PageSource &page : pages) {
        if (!current && page.input.key == currentKey)
            current = &page;
        if (page.aspectKnown())
            metadata.append({page.input.ordinal, 1.0, page.aspectRatio()});
        aspects.insert(page.input.ordinal, page.aspectRatio());
    }
    if (!current && !pages.isEmpty())
        current = &pages.constFirst();

    Layout layout;
    const double referenceAspect
        = reference.resolve(m_displayedChartIdentity, earliestPageAspectRatio(metadata));
    layout.grid = resolvedGrid(m_pageLayout, viewport, referenceAspect, separators);
    const double gap = separatorGapFraction(layout.grid.rows, viewport.height(), separators);
    layout.referenceHeight = StageLayout::referenceHeight(current && !current->basePixelSize.isEmpty()
            ? std::optional<double>(current->basePixelSize.height())
            : std::nullopt);
    const std::optional<double> cameraAspect
        = isPositiveFinite(viewport.width()) && isPositiveFinite(viewport.height())
        ? std::optional(viewport.width() / viewport.height())
        : std::nullopt;
    layout.geometry = bankGeometry(aspects, current ? current->input.ordinal : 0, layout.grid,
        layout.referenceHeight, referenceAspect, cameraAspect, gap);
    const Zoom zoom {m_scrollView->minimumMagnification(), m_scrollView->maximumMagnification(),
        m_scrollView->magnification()};
    layout.zoom = refittedZoom(
        zoom, layout.geometry.cameraFrame.size(), viewport, m_fitWidth, refit || layout.grid != m_grid);
    return layout;
}

QSize DesktopStageView::deviceSizeFor(
    const Layout &layout, const PageSource &page, double magnification) const
{
    QRectF frame = layout.geometry.pageFrames.value(page.input.ordinal);
    if (!layout.geometry.pageFrames.contains(page.input.ordinal)) {
        // Off the bank, a page is prepared at the size it will have once it is turned to.
        const double ratio = page.aspectRatio();
        const double width = std::min(layout.referenceHeight / ratio, layout.geometry.slotWidth);
        frame = QRectF(0, 0, width, ratio * width);
    }
    return (QSizeF(pixelRect(frame, magnification).size()) * devicePixelRatioF()).toSize();
}

void DesktopStageView::requestPageWindow(const StageLayout::Grid &grid)
{
    const StageLayout::PageWindow window = StageLayout::pageWindow(grid);
    if (m_requestedPageWindow == window)
        return;
    m_requestedPageWindow = window;
    m_main.post([self = QPointer(this), window] {
        if (self && self->m_requestedPageWindow == window && self->m_model)
            self->m_model->configurePageBank(window.maxLookBehind, window.maxLookAhead);
    });
}

PageImageLoader::Request DesktopStageView::imageRequest(
    const PageSource &page, bool marks, const QSize &target) const
{
    const PageInput &input = page.input;
    const QByteArray &png = marks ? input.marks : input.base;
    const QString source = input.key + (marks ? u"|marks|"_s : u"|base|"_s)
        + (marks ? input.marksStamp : input.baseStamp) + u'|' + QString::number(png.size());
    // Marks are never inverted: the Host's red stays red.
    return {source, png, target, !marks && m_invert};
}

void DesktopStageView::decode(
    const QList<PageInput> &inputs, const QString &currentKey, bool refit, StagePageTurnTransition transition)
{
    auto run = std::make_shared<DecodeRun>();
    run->currentKey = currentKey;
    run->refit = refit;
    run->transition = transition;
    run->generation = ++m_decodeGeneration;
    for (const PageInput &input : inputs)
        run->pages.append({input, PageImageLoader::pixelSize(input.base), {}, {}, {}, {}});

    StageLayout::ChartAspectReference reference = m_chartAspectReference;
    const Layout layout = computeLayout(run->pages, currentKey, reference, refit);
    requestPageWindow(layout.grid);
    // Before the stage has a size there is nothing to decode for; the first layout asks for the images.
    const std::optional<double> magnification
        = layout.zoom ? std::optional(layout.zoom->magnification) : std::nullopt;

    const auto settle = [this, run] {
        if (--run->pending == 0 && run->armed && run->generation == m_decodeGeneration)
            install(run->pages, run->currentKey, run->refit, run->transition);
    };
    for (qsizetype i = 0; i < run->pages.size(); ++i) {
        const PageSource &page = run->pages.at(i);
        const bool visible = layout.geometry.pageFrames.contains(page.input.ordinal);
        const bool current = currentKey.isEmpty() ? i == 0 : page.input.key == currentKey;
        const QSize target = magnification ? deviceSizeFor(layout, page, *magnification) : QSize();
        for (const bool marks : {false, true}) {
            const PageImageLoader::Request request = imageRequest(page, marks, target);
            if (request.png.isEmpty() || target.isEmpty())
                continue;
            if (!current) {
                // Only the page the musician reads holds the turn back; the others fill in as they
                // decode, the visible ones first, the rest prepared for the turns to come.
                m_loader.load(request,
                    visible ? PageImageLoader::Urgency::Now : PageImageLoader::Urgency::Ahead, this,
                    [](const QImage &) {});
                continue;
            }
            ++run->pending;
            m_loader.load(request, PageImageLoader::Urgency::Now, this,
                [run, i, marks, key = request.cacheKey(), settle](const QImage &image) {
                    PageSource &loaded = run->pages[i];
                    (marks ? loaded.marks : loaded.base) = image;
                    (marks ? loaded.marksRequest : loaded.baseRequest) = key;
                    settle();
                });
        }
    }
    run->armed = true;
    if (run->pending == 0 && run->generation == m_decodeGeneration)
        install(run->pages, currentKey, refit, transition);
}

void DesktopStageView::install(
    const QList<PageSource> &pages, const QString &currentKey, bool refit, StagePageTurnTransition transition)
{
    QPixmap from;
    if (transition != StagePageTurnTransition::None) {
        if (!currentKey.isEmpty()) {
            const auto current = std::find_if(pages.cbegin(), pages.cend(),
                [&](const PageSource &page) { return page.input.key == currentKey; });
            // The slide needs the new page's picture; without it the old display stays until it arrives.
            if (current == pages.cend() || current->base.isNull())
                return;
        }
        cancelPageTurnAnimation();
        from = snapshot();
    } else {
        cancelPageTurnAnimation();
    }

    while (m_surfaces.size() > pages.size())
        delete m_surfaces.takeLast();
    while (m_surfaces.size() < pages.size()) {
        auto *surface = new DesktopPageSurface(m_document);
        surface->show();
        m_surfaces.append(surface);
    }
    m_installed = pages;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        DesktopPageSurface *surface = m_surfaces.at(i);
        PageSource &page = m_installed[i];
        surface->pageKey = page.input.key;
        surface->ordinal = page.input.ordinal;
        surface->aspectRatio = page.aspectRatio();
        surface->baseRequest = page.baseRequest;
        surface->marksRequest = page.marksRequest;
        surface->setImages(page.base, page.marks);
        // The surface keeps the pixels; the list keeps only what is needed to make them again.
        page.base = {};
        page.marks = {};
        DesktopInkView *ink = surface->inkView();
        if (!currentKey.isEmpty() && page.input.key == currentKey) {
            ink->strokesProvider = [model = m_model] {
                return model ? model->ink.strokes(model->displayedPage()) : QList<LiveStroke>();
            };
            ink->show();
            ink->update();
        } else {
            ink->strokesProvider = nullptr;
            ink->hide();
        }
    }
    m_displayedPageKey = !currentKey.isEmpty() ? currentKey
        : pages.isEmpty()                      ? QString()
                                               : pages.first().input.key;

    layoutDocument(refit);
    if (refit)
        m_pendingChartRefit = false;
    updateActiveIndicator();
    refreshPrivateAnnotationViews();
    if (!from.isNull())
        animatePageTurn(from, transition);
    Q_EMIT pagesInstalled();
}

void DesktopStageView::layoutDocument(bool refit)
{
    m_layout = computeLayout(m_installed, m_displayedPageKey, m_chartAspectReference, refit);
    m_grid = m_layout.grid;
    requestPageWindow(m_grid);
    if (m_layout.zoom) {
        m_scrollView->setMagnificationLimits(m_layout.zoom->minimum, m_layout.zoom->maximum);
        m_scrollView->setMagnification(m_layout.zoom->magnification, std::nullopt, false);
    }
    placeDocument();
}

void DesktopStageView::placeDocument(bool deferImages)
{
    const double m = m_scrollView->magnification();
    const QSizeF viewport = m_scrollView->size();
    if (m_surfaces.isEmpty()) {
        m_document->resize(viewport.toSize());
        m_bankCameraFrame = {};
        return;
    }
    const StageLayout::BankPlacement placement = StageLayout::placeBank(m_layout.geometry, viewport, m);
    m_document->resize((placement.documentSize * m).toSize().expandedTo(viewport.toSize()));
    for (DesktopPageSurface *surface : std::as_const(m_surfaces)) {
        const auto frame = placement.pageFrames.constFind(surface->ordinal);
        if (frame == placement.pageFrames.cend()) {
            surface->hide();
            continue;
        }
        surface->setGeometry(pixelRect(*frame, m));
        surface->show();
    }
    m_bankCameraFrame = placement.cameraFrame;
    m_deferredImages.cancel();
    if (deferImages) {
        m_deferredImages = m_main.postAfter(rescaleDelay, [self = QPointer(this)] {
            if (self)
                self->refreshImages();
        });
    } else {
        refreshImages();
    }
    clampCamera();
}

void DesktopStageView::refreshImages()
{
    const double m = m_scrollView->magnification();
    for (qsizetype i = 0; i < m_surfaces.size() && i < m_installed.size(); ++i) {
        DesktopPageSurface *surface = m_surfaces.at(i);
        const PageSource &page = m_installed.at(i);
        const QSize target = surface->isVisibleTo(m_document) ? surface->devicePixelSize()
                                                              : deviceSizeFor(m_layout, page, m);
        if (target.isEmpty())
            continue;
        for (const bool marks : {false, true}) {
            const PageImageLoader::Request request = imageRequest(page, marks, target);
            const QString key = request.cacheKey();
            QString &shown = marks ? surface->marksRequest : surface->baseRequest;
            if (request.png.isEmpty() || shown == key)
                continue;
            shown = key;
            const auto urgency = surface->isVisibleTo(m_document) ? PageImageLoader::Urgency::Now
                                                                  : PageImageLoader::Urgency::Ahead;
            m_loader.load(request, urgency, surface, [this, surface, marks, key](const QImage &image) {
                if ((marks ? surface->marksRequest : surface->baseRequest) != key)
                    return;
                if (marks) {
                    surface->setMarksImage(image);
                } else {
                    const bool hadBase = !surface->baseImage().isNull();
                    surface->setBaseImage(image);
                    if (hadBase != !image.isNull())
                        refreshPrivateAnnotationViews();
                }
            });
        }
    }
}

void DesktopStageView::applyZoomAction(StageZoomAction action)
{
    if (action == StageZoomAction::Reset) {
        layoutDocument(true);
        return;
    }
    const StageLayout::Zoom zoom {m_scrollView->minimumMagnification(), m_scrollView->maximumMagnification(),
        m_scrollView->magnification()};
    if (const auto target = StageLayout::zoomTarget(zoom, action))
        m_scrollView->setMagnification(*target);
}

void DesktopStageView::clampCamera()
{
    if (m_clampingCamera)
        return;
    const auto origin = StageLayout::clampedVisibleOrigin(m_bankCameraFrame, m_scrollView->visibleRect());
    if (!origin)
        return;
    m_clampingCamera = true;
    m_scrollView->scrollToDocumentPoint(*origin);
    m_clampingCamera = false;
}

void DesktopStageView::updateActiveIndicator()
{
    for (DesktopPageSurface *surface : std::as_const(m_surfaces))
        surface->setHostActive(!m_activePageKey.isEmpty() && surface->pageKey == m_activePageKey);
}

void DesktopStageView::refreshInk()
{
    if (DesktopPageSurface *surface = currentSurface())
        surface->inkView()->update();
}

void DesktopStageView::refreshPrivateAnnotationViews()
{
    if (!m_privateAnnotations || !m_model)
        return;
    const StagePageList bank = m_model->bankPages();
    const StagePageList pages = bank.isEmpty() ? m_model->stagePages() : bank;
    const QString currentKey = currentKeyOf().value_or(QString());
    std::optional<PrivateAnnotationPageKey> currentPrivateKey;
    for (DesktopPageSurface *surface : std::as_const(m_surfaces)) {
        std::optional<PrivateAnnotationPageKey> key;
        const auto page = std::find_if(pages.cbegin(), pages.cend(),
            [&](const StagePage &page) { return page.key == surface->pageKey; });
        if (page != pages.cend() && page->annotationScoreKey && !surface->baseImage().isNull())
            key = PrivateAnnotationPageKey::rendered(
                *page->annotationScoreKey, page->baseVersion, page->pageIndex);
        const bool current = !currentKey.isEmpty() && surface->pageKey == currentKey;
        const bool input = m_annotationMode && current && key;

        PrivateAnnotationCanvasView *canvas = surface->canvas();
        if (canvas->store() != m_privateAnnotations || canvas->pageKey() != key
            || canvas->inputTool() != m_annotationTool || canvas->inputColor() != m_annotationColor || !input)
            canvas->finishGesture();
        canvas->setStore(m_privateAnnotations);
        canvas->setPageKey(key);
        canvas->setInputTool(m_annotationTool);
        canvas->setInputColor(m_annotationColor);
        canvas->setAnnotationMode(input);
        canvas->update();
        if (current)
            currentPrivateKey = key;
    }
    if (currentPrivateKey != m_reportedPrivatePageKey) {
        m_reportedPrivatePageKey = currentPrivateKey;
        m_main.post([self = QPointer(this), currentPrivateKey] {
            if (self && self->onPrivatePageChange)
                self->onPrivatePageChange(currentPrivateKey);
        });
    }
}

void DesktopStageView::handleClick(const QPointF &documentPixel)
{
    m_scrollView->setFocus();
    const QRectF visible = m_scrollView->visibleRect();
    const QPointF point = documentPixel / std::max(m_scrollView->magnification(), 0.001);
    if (onTap)
        onTap(point - visible.topLeft(), visible.size());
}

bool DesktopStageView::canTurnOnAxis(Qt::Orientation axis) const
{
    return StageLayout::canTurnOnAxis(
        axis, m_bankCameraFrame.size(), m_scrollView->visibleRect().size(), m_annotationMode);
}

QPixmap DesktopStageView::snapshot() const
{
    QWidget *viewport = m_scrollView->viewport();
    if (viewport->width() <= 0 || viewport->height() <= 0)
        return {};
    return viewport->grab();
}

void DesktopStageView::animatePageTurn(const QPixmap &from, StagePageTurnTransition transition)
{
    if (transition == StagePageTurnTransition::None || m_scrollView->width() <= 0)
        return;
    const QPixmap to = snapshot();
    if (to.isNull())
        return;
    const int generation = ++m_pageTransitionGeneration;
    auto *overlay = new DesktopStageTransitionOverlay(m_main, from, to, transition, this);
    overlay->setGeometry(m_scrollView->geometry());
    overlay->onFinished = [this, generation] {
        if (generation == m_pageTransitionGeneration)
            cancelPageTurnAnimation();
    };
    overlay->show();
    overlay->raise();
    m_overlay = overlay;
}

void DesktopStageView::cancelPageTurnAnimation()
{
    ++m_pageTransitionGeneration;
    if (m_overlay) {
        m_overlay->hide();
        m_overlay->onFinished = nullptr;
        m_overlay->deleteLater();
        m_overlay.clear();
    }
}

void DesktopStageView::requestFocus()
{
    m_main.post([self = QPointer(this)] {
        if (!self)
            return;
        QWidget *window = self->window();
        if (!window->isActiveWindow() || QApplication::activeModalWidget() || focusBelongsElsewhere())
            return;
        self->m_scrollView->setFocus();
    });
}

void DesktopStageView::resizeEvent(QResizeEvent *)
{
    m_scrollView->setGeometry(rect());
    if (m_overlay)
        m_overlay->setGeometry(rect());
    const QSizeF viewport = m_scrollView->size();
    if (viewport != m_lastViewportSize) {
        m_lastViewportSize = viewport;
        layoutDocument(false);
    }
}

void DesktopStageView::showEvent(QShowEvent *)
{
    QWidget *window = this->window();
    if (m_watchedWindow == window)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = window;
    window->installEventFilter(this);
}

bool DesktopStageView::eventFilter(QObject *watched, QEvent *event)
{
    // The stage takes the keys back when its window becomes active again, also after a dialog closes.
    if (watched == m_watchedWindow && event->type() == QEvent::WindowActivate)
        requestFocus();
    return QWidget::eventFilter(watched, event);
}

} // namespace pgw
