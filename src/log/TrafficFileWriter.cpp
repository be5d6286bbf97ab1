#include "TrafficFileWriter.h"

#include "DailyLogFiles.h"

#include <QDateTime>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tavo {

struct TrafficFileWriter::Shared {
    Shared(const QString& folder, const Limits& limits, ProblemHandler onProblem,
           TrafficFileWriter* owner)
        : files(folder, limits.days, limits.totalBytes, [this](const QString& p) { problem(p); }),
          onProblem(std::move(onProblem)), owner(owner) {}

    void run();
    void writeBatch(std::deque<TrafficRow>& rows, qint64 droppedRows);
    void problem(const QString& text);

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::condition_variable finished;
    std::deque<TrafficRow> queue;
    qint64 droppedRows = 0;
    bool busy = false;
    bool stop = false;
    bool done = false;

    // The writing thread's own.
    DailyLogFiles files;
    ProblemHandler onProblem; // called on the owner's thread only
    bool reported = false;

    TrafficFileWriter* owner; // under `mutex`; null once the writer is gone
};

TrafficFileWriter::TrafficFileWriter(const QString& folder, ProblemHandler onProblem, Limits limits,
                                     QObject* parent)
    : QObject(parent), m_folder(folder), m_limits(limits),
      m_shared(std::make_shared<Shared>(folder, limits, std::move(onProblem), this)) {
    m_kick.setSingleShot(true);
    m_kick.setTimerType(Qt::PreciseTimer);
    m_kick.setInterval(m_limits.gatherMs);
    connect(&m_kick, &QTimer::timeout, this, [this] { m_shared->wake.notify_one(); });
    m_thread = std::thread([shared = m_shared] { shared->run(); });
}

TrafficFileWriter::~TrafficFileWriter() {
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        m_shared->stop = true;
        m_shared->owner = nullptr;
        m_shared->wake.notify_one();
        finished = m_shared->finished.wait_for(lock, std::chrono::milliseconds(m_limits.stopWaitMs),
                                               [this] { return m_shared->done; });
    }
    // Exit must not hang on a disk that does not answer: the thread keeps the
    // shared state alive and ends with the process.
    if (finished)
        m_thread.join();
    else
        m_thread.detach();
}

QString TrafficFileWriter::fileNameFor(const QDate& day) {
    return DailyLogFiles::fileNameFor(day);
}

void TrafficFileWriter::write(const TrafficRow& row) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (int(m_shared->queue.size()) >= m_limits.queuedRows) {
            ++m_shared->droppedRows;
            return;
        }
        wasEmpty = m_shared->queue.empty();
        m_shared->queue.push_back(row);
    }
    // Waking the writer now would put a thread switch into the click or the reply being
    // handled; it is woken a moment later for everything that came meanwhile.
    if (wasEmpty && !m_kick.isActive())
        m_kick.start();
}

void TrafficFileWriter::drain() {
    m_kick.stop();
    m_shared->wake.notify_one();
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->idle.wait(lock, [this] { return m_shared->queue.empty() && !m_shared->busy; });
}

void TrafficFileWriter::Shared::run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stop || !queue.empty(); });
        if (queue.empty() && stop)
            break;
        std::deque<TrafficRow> rows;
        rows.swap(queue);
        const qint64 dropped = std::exchange(droppedRows, 0);
        busy = true;
        lock.unlock();
        writeBatch(rows, dropped);
        lock.lock();
        busy = false;
        if (queue.empty())
            idle.notify_all();
    }
    lock.unlock(); // never hold the lock over the disk: the destructor waits on it
    files.close();
    lock.lock();
    done = true;
    finished.notify_all();
}

void TrafficFileWriter::Shared::writeBatch(std::deque<TrafficRow>& rows, qint64 dropped) {
    if (dropped > 0 && !rows.empty()) {
        TrafficRow note = rows.front();
        note.kind = TrafficKind::Rx;
        note.bytes.clear();
        note.moreBytes = 0;
        note.detail = QStringLiteral("%1 rows not written: the disk was too slow").arg(dropped);
        rows.push_front(note);
    }
    QByteArray text;
    QDate textDay;
    for (const TrafficRow& row : rows) {
        const QDate day = QDateTime::fromMSecsSinceEpoch(row.time).date();
        if (day != textDay) {
            files.append(textDay, text);
            text.clear();
            textDay = day;
        }
        text += fileLine(row);
        text += '\n';
    }
    files.append(textDay, text);
}

void TrafficFileWriter::Shared::problem(const QString& text) {
    if (reported)
        return;
    reported = true;
    std::lock_guard<std::mutex> lock(mutex);
    // Posted while the owner is alive; a writer gone before it runs takes the call with it.
    if (owner) {
        QMetaObject::invokeMethod(
            owner,
            [this, text] {
                if (onProblem)
                    onProblem(text);
            },
            Qt::QueuedConnection);
    }
}

} // namespace tavo
