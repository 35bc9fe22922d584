// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMIDIInput.h"

#include "midi/MIDIPageTurnController.h"
#include "midi/MIDISourceListModel.h"
#include "support/DefaultsStore.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

class MIDISourceListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheConnectedSources()
    {
        MemoryDefaultsStore defaults;
        auto *fake = new FakeMIDIInput;
        fake->sources = {{u"Pedal"_s}};
        MIDIPageTurnController controller(defaults, std::unique_ptr<PlayerMIDIInput>(fake));
        controller.start();
        MIDISourceListModel model(controller);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0).data().toString(), u"Pedal"_s);

        fake->plug({{u"Keys"_s}, {u"Pedal"_s}});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0).data().toString(), u"Keys"_s);
        QCOMPARE(model.index(1).data().toString(), u"Pedal"_s);

        controller.stop();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(MIDISourceListModelTest)
#include "tst_midisourcelistmodel.moc"
