// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/EndedView.h"

#include "link/Wire.h"
#include "stage/ui/StageStyle.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

EndedView::EndedView(QWidget *parent)
    : QWidget(parent)
    , m_text(new QLabel(this))
{
    setObjectName(u"ended-screen"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    m_text->setObjectName(u"ended-text"_s);
    m_text->setFont(StageStyle::mono(15));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setStyleSheet(u"color: %1;"_s.arg(StageStyle::css(StageStyle::dim())));
    layout->addWidget(m_text);
    layout->addSpacing(18);
    auto *back = new QPushButton(u"back to the lobby"_s, this);
    back->setObjectName(u"back-to-lobby"_s);
    back->setFont(StageStyle::mono(15));
    back->setCursor(Qt::PointingHandCursor);
    QColor border = StageStyle::brass();
    border.setAlphaF(0.5f);
    back->setStyleSheet(
        u"QPushButton { color: %1; background: transparent; border: 1px solid %2; padding: 10px; }"
        "QPushButton:focus, QPushButton:hover { border-color: %1; }"_s.arg(
            StageStyle::css(StageStyle::brass()), StageStyle::css(border)));
    connect(back, &QPushButton::clicked, this, [this] {
        if (onBackToLobby)
            onBackToLobby();
    });
    layout->addWidget(back, 0, Qt::AlignHCenter);
    layout->addStretch();
}

void EndedView::setReason(const QString &reason)
{
    m_text->setText(reason == EndReason::version
            ? u"this Player and the Mac aren't speaking the same wire —\nupdate whichever one is older"_s
            : u"show's over — thanks for playing"_s);
}

} // namespace pgw
