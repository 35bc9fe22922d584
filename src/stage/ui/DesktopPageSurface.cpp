// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopPageSurface.h"

#include "annotations/ui/PrivateAnnotationCanvasView.h"
#include "stage/ui/DesktopInkView.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace pgw {

DesktopPageSurface::DesktopPageSurface(QWidget *parent)
    : QWidget(parent)
    , m_ink(new DesktopInkView(this))
    , m_canvas(new PrivateAnnotationCanvasView(this))
{
    setObjectName(u"page-surface"_s);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_ink->hide();
}

void DesktopPageSurface::setHostActive(bool on)
{
    if (m_hostActive == on)
        return;
    m_hostActive = on;
    update();
}

void DesktopPageSurface::setImages(const QImage &base, const QImage &marks)
{
    m_base = base;
    m_marks = marks;
    update();
}

void DesktopPageSurface::setBaseImage(const QImage &image)
{
    m_base = image;
    update();
}

void DesktopPageSurface::setMarksImage(const QImage &image)
{
    m_marks = image;
    update();
}

QSize DesktopPageSurface::devicePixelSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void DesktopPageSurface::resizeEvent(QResizeEvent *)
{
    m_ink->setGeometry(rect());
    m_canvas->setGeometry(rect());
}

void DesktopPageSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QSize device = devicePixelSize();
    for (const QImage *image : {&m_base, &m_marks}) {
        if (image->isNull())
            continue;
        // A copy of another size waits for its rescale; until then it is stretched smoothly.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, image->size() != device);
        painter.drawImage(QRectF(rect()), *image);
    }
    if (m_hostActive) {
        const qreal half = indicatorWidth / 2.0;
        painter.setPen(QPen(indicatorColor, indicatorWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
    }
}

} // namespace pgw
