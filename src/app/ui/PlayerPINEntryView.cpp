// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PlayerPINEntryView.h"

#include "app/AppController.h"
#include "link/PlayerAccessPIN.h"
#include "stage/ui/StageStyle.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// A closed padlock in the accent colour.
QPixmap lockSymbol(qreal ratio)
{
    QPixmap pixmap(QSize(28, 32) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(StageStyle::brass(), 3.2));
    painter.drawArc(QRectF(7, 2, 14, 18), 0, 180 * 16);
    painter.drawLine(QPointF(7, 11), QPointF(7, 15));
    painter.drawLine(QPointF(21, 11), QPointF(21, 15));
    painter.setPen(Qt::NoPen);
    painter.setBrush(StageStyle::brass());
    painter.drawRoundedRect(QRectF(2, 14, 24, 17), 3, 3);
    return pixmap;
}

} // namespace

PlayerPINEntryView::PlayerPINEntryView(QWidget *parent)
    : QDialog(parent)
    , m_heading(new QLabel(this))
    , m_explanation(new QLabel(this))
    , m_pin(new QLineEdit(this))
{
    setObjectName(u"pin-entry"_s);
    setWindowTitle(u"PIN required"_s);
    setMinimumWidth(420);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    auto *lock = new QLabel(this);
    lock->setPixmap(lockSymbol(devicePixelRatioF()));
    layout->addWidget(lock, 0, Qt::AlignHCenter);
    QFont heading = m_heading->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    m_heading->setFont(heading);
    m_heading->setObjectName(u"pin-heading"_s);
    m_heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_heading);
    m_explanation->setObjectName(u"pin-explanation"_s);
    m_explanation->setWordWrap(true);
    m_explanation->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_explanation);

    m_pin->setObjectName(u"pin-field"_s);
    m_pin->setEchoMode(QLineEdit::Password);
    m_pin->setPlaceholderText(PlayerPINPrompt::fieldPrompt);
    m_pin->setAccessibleName(PlayerPINPrompt::fieldPrompt);
    m_pin->setAlignment(Qt::AlignCenter);
    m_pin->setFont(StageStyle::mono(18));
    layout->addWidget(m_pin);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel)->setText(u"Cancel"_s);
    m_join = buttons->addButton(u"Join"_s, QDialogButtonBox::AcceptRole);
    m_join->setObjectName(u"pin-join"_s);
    m_join->setDefault(true);
    m_join->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &PlayerPINEntryView::submit);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_pin, &QLineEdit::textChanged, this,
        [this](const QString &text) { m_join->setEnabled(PlayerAccessPIN::normalized(text).has_value()); });
    connect(m_pin, &QLineEdit::returnPressed, this, &PlayerPINEntryView::submit);
    connect(this, &QDialog::rejected, this, [this] {
        if (onCancel)
            onCancel();
    });
}

void PlayerPINEntryView::setPrompt(const QString &hostName, bool rejected)
{
    const PlayerPINPrompt prompt {hostName, rejected};
    m_heading->setText(rejected ? QString(PlayerPINPrompt::rejectedHeading) : u"PIN required"_s);
    m_explanation->setText(prompt.explanation());
    m_join->setText(rejected ? u"Try Again"_s : u"Join"_s);
    if (m_rejected != rejected) {
        m_rejected = rejected;
        m_pin->clear();
        m_pin->setFocus();
    }
}

void PlayerPINEntryView::submit()
{
    const std::optional<QString> pin = PlayerAccessPIN::normalized(m_pin->text());
    if (!pin)
        return;
    m_pin->clear();
    if (onSubmit)
        onSubmit(*pin);
}

} // namespace pgw
