// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MIDITurnDirection.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace pgw {

class MIDIPageTurnController;

// The pedal setup sheet: learn, show and clear the pedal of each direction, and list the MIDI sources.
class MIDIPedalSetupView : public QDialog
{
    Q_OBJECT

public:
    explicit MIDIPedalSetupView(MIDIPageTurnController &midi, QWidget *parent = nullptr);

    static QString directionLabel(MIDITurnDirection direction);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Row
    {
        QLabel *summary = nullptr;
        QPushButton *learn = nullptr;
        QPushButton *clear = nullptr;
    };
    void refresh();

    MIDIPageTurnController &m_midi;
    Row m_rows[2];
    QFrame *m_banner = nullptr;
    QLabel *m_bannerTitle = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace pgw
