#include "TrafficFileWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace tavo {

TrafficFileWriter::TrafficFileWriter(const QString& folder, ProblemHandler onProblem, Limits limits,
                                     QObject* parent)
    : QObject(parent), m_folder(folder), m_limits(limits), m_onProblem(std::move(onProblem)) {
    m_kick.setSingleShot(true);
    m_kick.setTimerType(Qt::PreciseTimer);
    m_kick.setInterval(m_limits.gatherMs);
    connect(&m_kick, &QTimer::timeout, this, [this] { m_wake.notify_one(); });
    m_thread = std::thread([this] { run(); });
}

TrafficFileWriter::~TrafficFileWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

QString TrafficFileWriter::fileNameFor(const QDate& day) {
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void TrafficFileWriter::write(const TrafficRow& row) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (int(m_queue.size()) >= m_limits.queuedRows) {
            ++m_droppedRows;
            return;
        }
        wasEmpty = m_queue.empty();
        m_queue.push_back(row);
    }
    // Waking the writer now would put a thread switch into the click or the reply being
    // handled; it is woken a moment later for everything that came meanwhile.
    if (wasEmpty && !m_kick.isActive())
        m_kick.start();
}

void TrafficFileWriter::drain() {
    m_kick.stop();
    m_wake.notify_one();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void TrafficFileWriter::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty() && m_stop)
            break;
        std::deque<TrafficRow> rows;
        rows.swap(m_queue);
        const qint64 dropped = std::exchange(m_droppedRows, 0);
        m_busy = true;
        lock.unlock();
        writeBatch(rows, dropped);
        lock.lock();
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
    m_file.close();
}

void TrafficFileWriter::writeBatch(std::deque<TrafficRow>& rows, qint64 droppedRows) {
    QByteArray text;
    QDate textDay;
    auto put = [this, &text, &textDay] {
        if (text.isEmpty() || !openDay(textDay) || m_paused)
            return;
        if (m_file.write(text) != text.size() || !m_file.flush()) {
            problem(QStringLiteral("cannot write %1: %2")
                        .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
            m_file.close(); // try afresh with the next rows
            m_day = QDate();
            return;
        }
        m_totalBytes += text.size();
        if (m_totalBytes > m_limits.totalBytes)
            removeOldFiles(m_day);
    };
    if (droppedRows > 0 && !rows.empty()) {
        TrafficRow note = rows.front();
        note.kind = TrafficKind::Rx;
        note.bytes.clear();
        note.moreBytes = 0;
        note.detail = QStringLiteral("%1 rows not written: the disk was too slow").arg(droppedRows);
        rows.push_front(note);
    }
    for (const TrafficRow& row : rows) {
        const QDate day = QDateTime::fromMSecsSinceEpoch(row.time).date();
        if (day != textDay) {
            put();
            text.clear();
            textDay = day;
        }
        text += fileLine(row);
        text += '\n';
    }
    put();
}

bool TrafficFileWriter::openDay(const QDate& day) {
    if (m_file.isOpen() && m_day == day)
        return true;
    m_file.close();
    m_paused = false;
    if (!QDir().mkpath(m_folder)) {
        problem(
            QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    removeOldFiles(day);
    m_file.setFileName(QDir(m_folder).filePath(fileNameFor(day)));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        problem(QStringLiteral("cannot open %1: %2")
                    .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
        return false;
    }
    m_day = day;
    return true;
}

// Keeps the last `days` days and at most `totalBytes` in all, oldest first out;
// today's file is never removed, and stops growing at the limit.
void TrafficFileWriter::removeOldFiles(const QDate& today) {
    QDir dir(m_folder);
    const QString todayName = fileNameFor(today);
    QFileInfoList files = dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files,
                                            QDir::Name); // oldest first
    const QDate oldestKept = today.addDays(-(m_limits.days - 1));
    qint64 total = 0;
    for (const QFileInfo& file : files)
        total += file.size();
    for (const QFileInfo& file : files) {
        if (file.fileName() == todayName)
            continue;
        const QDate day = QDate::fromString(file.completeBaseName(), QStringLiteral("yyyy-MM-dd"));
        if ((day.isValid() && day < oldestKept) || total > m_limits.totalBytes) {
            if (QFile::remove(file.filePath()))
                total -= file.size();
        }
    }
    m_totalBytes = total;
    if (total > m_limits.totalBytes && !m_paused) {
        m_paused = true;
        problem(QStringLiteral("the log folder holds its limit of %1 MB; today's log stops here")
                    .arg(m_limits.totalBytes / (1024 * 1024)));
    }
}

void TrafficFileWriter::problem(const QString& text) {
    if (m_reported)
        return;
    m_reported = true;
    // Reported on the writer's owning thread; a writer gone by then takes the call with it.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (m_onProblem)
                m_onProblem(text);
        },
        Qt::QueuedConnection);
}

} // namespace tavo
