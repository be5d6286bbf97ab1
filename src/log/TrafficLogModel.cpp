#include "TrafficLogModel.h"

#include "TrafficLog.h"

#include <QDateTime>

namespace tavo {

TrafficLogModel::TrafficLogModel(TrafficLog& log, QObject* parent)
    : QAbstractTableModel(parent), m_log(log) {
    m_first = m_log.firstNumber();
    m_count = m_log.size();
    m_batch.setSingleShot(true);
    m_batch.setTimerType(Qt::PreciseTimer);
    m_batch.setInterval(100);
    connect(&m_batch, &QTimer::timeout, this, &TrafficLogModel::sync);
    m_log.setOnChanged([this] {
        if (!m_batch.isActive())
            m_batch.start();
    });
}

TrafficLogModel::~TrafficLogModel() {
    m_log.setOnChanged({});
}

void TrafficLogModel::sync() {
    m_batch.stop();
    const qint64 logFirst = m_log.firstNumber();
    const qint64 gone = qBound(qint64(0), logFirst - m_first, qint64(m_count));
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone) - 1);
        m_first += gone;
        m_count -= int(gone);
        endRemoveRows();
    }
    if (m_count == 0)
        m_first = logFirst;
    const qint64 end = m_log.endNumber();
    const qint64 added = end - (m_first + m_count);
    if (added > 0) {
        beginInsertRows({}, m_count, m_count + int(added) - 1);
        m_count += int(added);
        endInsertRows();
    }
    Q_EMIT synced();
}

int TrafficLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

const TrafficRow* TrafficLogModel::rowAt(int row) const {
    const qint64 number = m_first + row;
    if (row < 0 || row >= m_count || number < m_log.firstNumber() || number >= m_log.endNumber())
        return nullptr;
    return &m_log.row(number);
}

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != LineRole)
        return {};
    const TrafficRow* row = rowAt(index.row());
    if (!row)
        return {};
    if (role == LineRole)
        return QString::fromUtf8(fileLine(*row));
    switch (index.column()) {
    case Time: {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(row->time);
        return role == Qt::ToolTipRole ? isoLocalTime(row->time)
                                       : local.toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    case Kind:
        return kindName(row->kind);
    case Port:
        return row->port;
    case Address:
        return QString::fromLatin1(row->address);
    case Rendering:
        return renderingText(*row);
    case Hex:
        return hexText(*row);
    case Decoded:
        return row->detail;
    default:
        return {};
    }
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return QStringLiteral("time");
    case Kind:
        return QStringLiteral("kind");
    case Port:
        return QStringLiteral("port");
    case Address:
        return QStringLiteral("address");
    case Rendering:
        return QStringLiteral("rendering");
    case Hex:
        return QStringLiteral("hex");
    case Decoded:
        return QStringLiteral("decoded");
    default:
        return {};
    }
}

} // namespace tavo
