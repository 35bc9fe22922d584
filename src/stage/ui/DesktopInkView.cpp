// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopInkView.h"

#include <QPainter>
#include <QPainterPath>

namespace pgw {

DesktopInkView::DesktopInkView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void DesktopInkView::paintStroke(QPainter &painter, const LiveStroke &stroke, const QSizeF &size)
{
    const QList<InkPoint> &points = stroke.points;
    if (points.isEmpty())
        return;
    const double base = std::min(size.width(), size.height()) * stroke.normalizedWidth;
    const QColor color = QColor::fromRgbF(float(stroke.color.red), float(stroke.color.green),
        float(stroke.color.blue), float(stroke.color.alpha));
    const auto at
        = [&](qsizetype k) { return QPointF(points[k].x * size.width(), points[k].y * size.height()); };
    const auto mid = [&](qsizetype a, qsizetype b) { return (at(a) + at(b)) / 2; };

    if (points.size() == 1) {
        const double diameter = LiveStroke::drawnWidth(base, points[0].pressure);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(at(0), diameter / 2, diameter / 2);
        return;
    }
    painter.setBrush(Qt::NoBrush);
    for (qsizetype i = 1; i < points.size(); ++i) {
        QPainterPath segment;
        if (i == 1) {
            segment.moveTo(at(0));
            segment.lineTo(mid(0, 1));
        } else {
            segment.moveTo(mid(i - 2, i - 1));
            segment.quadTo(at(i - 1), mid(i - 1, i));
        }
        painter.setPen(QPen(color, LiveStroke::drawnWidth(base, points[i].pressure), Qt::SolidLine,
            Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(segment);
    }
}

void DesktopInkView::paintEvent(QPaintEvent *)
{
    if (!strokesProvider)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF area = size();
    for (const LiveStroke &stroke : strokesProvider())
        paintStroke(painter, stroke, area);
}

} // namespace pgw
