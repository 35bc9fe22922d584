// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationStore.h"
#include "annotations/PrivateAnnotationTool.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace pgw {

// The musician's own ink over one page: draws the page's stored strokes and, in annotation mode, turns
// mouse or stylus gestures into pen and highlighter strokes or eraser sweeps. Outside annotation mode
// clicks pass through to the page.
class PrivateAnnotationCanvasView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double jitterTolerance = 0.0005;
    static constexpr double eraserRadius = 0.02;

    explicit PrivateAnnotationCanvasView(QWidget *parent = nullptr);

    PrivateAnnotationStore *store() const { return m_store; }
    void setStore(PrivateAnnotationStore *store);
    const std::optional<PrivateAnnotationPageKey> &pageKey() const { return m_pageKey; }
    void setPageKey(const std::optional<PrivateAnnotationPageKey> &key) { m_pageKey = key; }
    PlayerPrivateAnnotationTool inputTool() const { return m_inputTool; }
    void setInputTool(PlayerPrivateAnnotationTool tool) { m_inputTool = tool; }
    PlayerPrivateAnnotationColor inputColor() const { return m_inputColor; }
    void setInputColor(PlayerPrivateAnnotationColor color) { m_inputColor = color; }
    bool annotationMode() const { return m_annotationMode; }
    void setAnnotationMode(bool on);

    // Stores what the gesture in progress has drawn and ends it.
    void finishGesture();

    // Draws one stroke into a page of `size`.
    static void drawPrivateAnnotation(QPainter &painter, const PrivateAnnotationStyle &style,
        const QList<PrivateAnnotationPoint> &points, const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;

private:
    std::optional<PrivateAnnotationPoint> normalizedPoint(const QPointF &location) const;
    double pageAspectRatio() const;
    void begin(const QPointF &location);
    void extend(const QPointF &location);
    void end(const QPointF &location);
    void appendUnlessJitter(const PrivateAnnotationPoint &point);

    QPointer<PrivateAnnotationStore> m_store;
    QMetaObject::Connection m_storeConnection;
    std::optional<PrivateAnnotationPageKey> m_pageKey;
    PlayerPrivateAnnotationTool m_inputTool = PlayerPrivateAnnotationTool::Pen;
    PlayerPrivateAnnotationColor m_inputColor = PlayerPrivateAnnotationColor::Red;
    bool m_annotationMode = false;
    QList<PrivateAnnotationPoint> m_activePoints;
    std::optional<PrivateAnnotationStyle> m_activeStyle;
    std::optional<PlayerPrivateAnnotationTool> m_activeTool;
    double m_activePageAspectRatio = 1.0;
};

} // namespace pgw
