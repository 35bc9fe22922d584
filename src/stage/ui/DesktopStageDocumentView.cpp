// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopStageDocumentView.h"

#include <QApplication>
#include <QMouseEvent>

using namespace Qt::StringLiterals;

namespace pgw {

DesktopStageDocumentView::DesktopStageDocumentView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"stage-document"_s);
}

void DesktopStageDocumentView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressedAt = event->position();
    m_lastGlobal = event->globalPosition();
    m_dragging = false;
}

void DesktopStageDocumentView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressedAt)
        return;
    if (!m_dragging
        && (event->position() - *m_pressedAt).manhattanLength() >= QApplication::startDragDistance())
        m_dragging = true;
    if (m_dragging && onDrag)
        onDrag(event->globalPosition() - m_lastGlobal);
    m_lastGlobal = event->globalPosition();
}

void DesktopStageDocumentView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressedAt)
        return;
    const bool click = !m_dragging;
    const QPointF total = event->position() - *m_pressedAt;
    m_pressedAt.reset();
    m_dragging = false;
    if (click && onClick)
        onClick(event->position());
    else if (!click && onDragFinished)
        onDragFinished(total);
}

} // namespace pgw
