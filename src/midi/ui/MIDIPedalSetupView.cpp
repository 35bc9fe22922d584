// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ui/MIDIPedalSetupView.h"

#include "midi/MIDIPageTurnController.h"
#include "midi/MIDISourceListModel.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

QString MIDIPedalSetupView::directionLabel(MIDITurnDirection direction)
{
    return direction == MIDITurnDirection::previous ? u"Previous Page"_s : u"Next Page"_s;
}

MIDIPedalSetupView::MIDIPedalSetupView(MIDIPageTurnController &midi, QWidget *parent)
    : QDialog(parent)
    , m_midi(midi)
{
    setObjectName(u"midi-pedal-setup"_s);
    setWindowTitle(u"MIDI Page Turns"_s);
    setMinimumWidth(520);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(u"MIDI Page Turns"_s, this);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    title->setFont(heading);
    layout->addWidget(title);

    m_banner = new QFrame(this);
    m_banner->setObjectName(u"learning-banner"_s);
    m_banner->setFrameShape(QFrame::StyledPanel);
    auto *bannerLayout = new QGridLayout(m_banner);
    auto *wave = new QLabel(m_banner);
    wave->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(20, 20));
    m_bannerTitle = new QLabel(m_banner);
    QFont bold = m_bannerTitle->font();
    bold.setBold(true);
    m_bannerTitle->setFont(bold);
    auto *hint = new QLabel(
        u"Press and release the MIDI pedal once. Note and CC messages are supported."_s, m_banner);
    hint->setWordWrap(true);
    auto *cancel = new QPushButton(u"Cancel Learn"_s, m_banner);
    connect(cancel, &QPushButton::clicked, &m_midi, &MIDIPageTurnController::cancelLearning);
    bannerLayout->addWidget(wave, 0, 0, 2, 1);
    bannerLayout->addWidget(m_bannerTitle, 0, 1);
    bannerLayout->addWidget(hint, 1, 1);
    bannerLayout->addWidget(cancel, 0, 2, 2, 1);
    layout->addWidget(m_banner);

    auto *turns = new QGroupBox(u"Page Turns"_s, this);
    auto *grid = new QGridLayout(turns);
    for (const MIDITurnDirection direction : allMIDITurnDirections) {
        const int row = int(direction);
        Row &controls = m_rows[row];
        auto *label = new QLabel(directionLabel(direction), turns);
        controls.summary = new QLabel(turns);
        controls.summary->setObjectName(u"binding-"_s + (row == 0 ? u"previous"_s : u"next"_s));
        controls.learn = new QPushButton(turns);
        controls.learn->setObjectName(u"learn-"_s + (row == 0 ? u"previous"_s : u"next"_s));
        controls.clear = new QPushButton(u"Clear "_s + directionLabel(direction), turns);
        controls.clear->setObjectName(u"clear-"_s + (row == 0 ? u"previous"_s : u"next"_s));
        connect(controls.learn, &QPushButton::clicked, &m_midi,
            [this, direction] { m_midi.beginLearning(direction); });
        connect(controls.clear, &QPushButton::clicked, &m_midi, [this, direction] {
            m_midi.cancelLearning();
            m_midi.clearBinding(direction);
        });
        grid->addWidget(label, row, 0);
        grid->addWidget(controls.summary, row, 1);
        grid->addWidget(controls.learn, row, 2);
        grid->addWidget(controls.clear, row, 3);
    }
    grid->setColumnStretch(1, 1);
    auto *footer = new QLabel(
        u"Player learns the exact device, MIDI channel, and note or CC. A held pedal turns once, "
        "then must be released before it can turn again."_s,
        turns);
    footer->setWordWrap(true);
    footer->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(footer, 2, 0, 1, 4);
    layout->addWidget(turns);

    auto *sources = new QGroupBox(u"MIDI Sources"_s, this);
    auto *sourcesLayout = new QVBoxLayout(sources);
    auto *list = new QListView(sources);
    list->setObjectName(u"midi-sources"_s);
    list->setModel(new MIDISourceListModel(m_midi, list));
    list->setMaximumHeight(110);
    auto *none = new QLabel(u"No MIDI sources connected"_s, sources);
    none->setObjectName(u"no-midi-sources"_s);
    none->setForegroundRole(QPalette::PlaceholderText);
    m_error = new QLabel(sources);
    m_error->setObjectName(u"midi-error"_s);
    QFont small = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_error->setFont(small);
    m_error->setWordWrap(true);
    sourcesLayout->addWidget(list);
    sourcesLayout->addWidget(none);
    sourcesLayout->addWidget(m_error);
    layout->addWidget(sources);
    const auto showSources = [list, none, this] {
        const bool empty = m_midi.sourceNames().isEmpty();
        list->setVisible(!empty);
        none->setVisible(empty);
    };
    connect(&m_midi, &MIDIPageTurnController::sourceNamesChanged, this, showSources);
    showSources();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(u"Done"_s);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    for (const auto signal :
        {&MIDIPageTurnController::previousBindingChanged, &MIDIPageTurnController::nextBindingChanged,
            &MIDIPageTurnController::learningDirectionChanged, &MIDIPageTurnController::errorTextChanged})
        connect(&m_midi, signal, this, &MIDIPedalSetupView::refresh);
    refresh();
}

void MIDIPedalSetupView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Each opening looks for devices plugged in since.
    m_midi.start();
}

void MIDIPedalSetupView::refresh()
{
    const std::optional<MIDITurnDirection> learning = m_midi.learningDirection();
    for (const MIDITurnDirection direction : allMIDITurnDirections) {
        Row &row = m_rows[int(direction)];
        const std::optional<MIDITurnBinding> binding = m_midi.binding(direction);
        row.summary->setText(binding ? binding->summary() : u"Not assigned"_s);
        row.learn->setText(learning == direction ? u"Listening…"_s : u"Learn"_s);
        row.learn->setAccessibleName(row.learn->text() + u" "_s + directionLabel(direction));
        row.clear->setVisible(binding.has_value());
    }
    m_banner->setVisible(learning.has_value());
    if (learning)
        m_bannerTitle->setText(u"Listening for "_s + directionLabel(*learning));
    m_error->setText(m_midi.errorText());
    m_error->setVisible(!m_midi.errorText().isEmpty());
}

} // namespace pgw
