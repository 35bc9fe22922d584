// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace pgw {

// Shown when the Host ends the show, or speaks another version of the wire.
class EndedView : public QWidget
{
    Q_OBJECT

public:
    explicit EndedView(QWidget *parent = nullptr);

    std::function<void()> onBackToLobby;
    void setReason(const QString &reason);

private:
    QLabel *m_text;
};

} // namespace pgw
