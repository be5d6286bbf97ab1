#pragma once

#include "FakeLinkView.h"
#include "FakeSerialPort.h"
#include "LinkWiring.h"
#include "MemorySettingsStore.h"
#include "VirtualClock.h"

#include "ObservedSerialPort.h"
#include "ProjectorLink.h"
#include "TrafficRecorder.h"

#include <QDateTime>
#include <QList>

namespace tavo::test {

// The link on the fake port and virtual clock, recorded: every row lands in
// `rows` (and in `sink`, when set). Virtual time 0 is `epoch`.
struct RecordingFixture {
    static qint64 epochAt(const QDate& day) {
        return QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch();
    }

    VirtualClock clock;
    FakeTimer timer2{clock, 10000};
    FakeTimer timer4{clock, 10500};
    FakeTimer rowTimer{clock, 1000};
    FakeSerialPort wire;
    ObservedSerialPort port{wire};
    MemorySettingsStore store;
    FakeLinkView view;
    Globals globals;
    ProjectorLink link{port, timer2, timer4, store, view, globals};
    qint64 epoch = epochAt(QDate(2026, 12, 7));
    QList<TrafficRow> rows;
    std::function<void(const TrafficRow&)> sink;
    TrafficRecorder recorder{wire, rowTimer, [this] { return epoch + clock.now(); },
                             [this] { return link.state().AddressPrefix; },
                             [this](const TrafficRow& row) {
                                 rows << row;
                                 if (sink)
                                     sink(row);
                             }};

    RecordingFixture() {
        port.setObserver(&recorder);
        link.setTrafficObserver(&recorder);
        routeLinkEvents(link, port, timer2, timer4);
    }

    void load(const QString& address = QString()) { loadLinked(link, store, address); }
    void panelSend(const QByteArray& command) { link.sendPanelCommand(command); }
};

} // namespace tavo::test
