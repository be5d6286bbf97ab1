#pragma once

#include <QAbstractTableModel>
#include <QTimer>

namespace tavo {

class TrafficLog;
struct TrafficRow;

// The ring of rows as a table. Changes to the ring are taken in batches a
// moment later, so a burst of rows costs one update of the view, not one each.
class TrafficLogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Time, Kind, Port, Address, Rendering, Hex, Decoded, ColumnCount };
    // The row's whole line as the file has it, in every column: what the filter matches.
    static constexpr int LineRole = Qt::UserRole + 1;

    explicit TrafficLogModel(TrafficLog& log, QObject* parent = nullptr);
    ~TrafficLogModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The row behind a table row, or null when the ring has dropped it already.
    const TrafficRow* rowAt(int row) const;
    // Takes the ring's changes now.
    void sync();

Q_SIGNALS:
    void synced();

private:
    TrafficLog& m_log;
    qint64 m_first = 0; // number of the first row shown
    int m_count = 0;
    QTimer m_batch;
};

} // namespace tavo
