// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/SheetItemDelegate.h"

#include "stage/ui/StageStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

class RowKeys : public QObject
{
public:
    RowKeys(QAbstractItemView *view, std::function<void(const QModelIndex &)> choose)
        : QObject(view)
        , m_view(view)
        , m_choose(std::move(choose))
    { }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
            return false;
        if (const QModelIndex current = m_view->currentIndex(); current.isValid())
            m_choose(current);
        return true;
    }

private:
    QAbstractItemView *m_view;
    std::function<void(const QModelIndex &)> m_choose;
};

} // namespace

void onRowChosen(QAbstractItemView *view, std::function<void(const QModelIndex &)> choose)
{
    QObject::connect(view, &QAbstractItemView::clicked, view, choose);
    view->installEventFilter(new RowKeys(view, std::move(choose)));
}

SheetItemDelegate::SheetItemDelegate(Roles roles, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_roles(roles)
{ }

QString SheetItemDelegate::text(const QModelIndex &index, int role) const
{
    return role < 0 ? QString() : index.data(role).toString();
}

QSize SheetItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QFontMetrics metrics(option.font);
    const bool twoLines = !text(index, m_roles.subtitle).isEmpty();
    return QSize(200, metrics.height() * (twoLines ? 2 : 1) + (twoLines ? 16 : 14));
}

void SheetItemDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

    const QRect area = option.rect.adjusted(12, 6, -12, -6);
    const QPalette &palette = option.palette;
    painter->save();
    if (m_roles.section >= 0 && index.data(m_roles.section).toBool()) {
        QFont heading = option.font;
        heading.setBold(true);
        heading.setCapitalization(QFont::AllUppercase);
        heading.setPointSizeF(heading.pointSizeF() * 0.85);
        painter->setFont(heading);
        painter->setPen(StageStyle::dim());
        painter->drawText(area, Qt::AlignLeft | Qt::AlignBottom, index.data().toString());
        painter->restore();
        return;
    }
    const bool checked = m_roles.checked >= 0 && index.data(m_roles.checked).toBool();
    const int checkWidth = option.fontMetrics.height() + 8;
    QRect textArea = area.adjusted(0, 0, -checkWidth, 0);
    const QString subtitle = text(index, m_roles.subtitle);
    painter->setPen(palette.color(QPalette::Text));
    const int lineHeight = option.fontMetrics.height();
    painter->drawText(QRect(textArea.topLeft(), QSize(textArea.width(), lineHeight)),
        Qt::AlignLeft | Qt::AlignVCenter,
        option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, textArea.width()));
    if (!subtitle.isEmpty()) {
        painter->setPen(StageStyle::dim());
        painter->drawText(
            QRect(textArea.left(), textArea.top() + lineHeight + 2, textArea.width(), lineHeight),
            Qt::AlignLeft | Qt::AlignVCenter,
            option.fontMetrics.elidedText(subtitle, Qt::ElideRight, textArea.width()));
    }
    if (m_roles.tag >= 0 && index.data(m_roles.tag).toBool()) {
        const int titleWidth = option.fontMetrics.horizontalAdvance(index.data().toString());
        QFont small = option.font;
        small.setPointSizeF(small.pointSizeF() * 0.8);
        painter->setFont(small);
        painter->setPen(StageStyle::brass());
        painter->drawText(QRect(textArea.left() + titleWidth + 10, textArea.top(), 80, lineHeight),
            Qt::AlignLeft | Qt::AlignVCenter, m_roles.tagText);
    }
    if (checked) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(StageStyle::brass(), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF centre(area.right() - checkWidth / 2.0, area.center().y());
        const double s = lineHeight / 3.0;
        painter->drawPolyline(QList<QPointF> {
            centre + QPointF(-s, 0), centre + QPointF(-s / 3, s * 0.7), centre + QPointF(s, -s * 0.8)});
    }
    painter->restore();
}

} // namespace pgw
