// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pgw {

// Asks for the Host's PIN. Closing it in any way but "Join" counts as cancelling.
class PlayerPINEntryView : public QDialog
{
    Q_OBJECT

public:
    explicit PlayerPINEntryView(QWidget *parent = nullptr);

    std::function<void(const QString &pin)> onSubmit;
    std::function<void()> onCancel;

    // A changed `rejected` clears the field and gives it the keys again.
    void setPrompt(const QString &hostName, bool rejected);

private:
    void submit();

    QLabel *m_heading;
    QLabel *m_explanation;
    QLineEdit *m_pin;
    QPushButton *m_join;
    std::optional<bool> m_rejected;
};

} // namespace pgw
