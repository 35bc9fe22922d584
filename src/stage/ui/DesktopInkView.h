// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stage/InkModel.h"

#include <QWidget>

#include <functional>

namespace pgw {

// The Host's live strokes over one page, transparent and never in the way of clicks. Only the current
// page's view has a provider; the others stay hidden.
class DesktopInkView : public QWidget
{
    Q_OBJECT

public:
    explicit DesktopInkView(QWidget *parent = nullptr);

    std::function<QList<LiveStroke>()> strokesProvider;

    // Draws one stroke into a page of `size`: midpoint quadratic segments, each at its point's width.
    static void paintStroke(QPainter &painter, const LiveStroke &stroke, const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace pgw
