#pragma once

#include "TrafficRow.h"

#include <QDate>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tavo {

// Writes rows to one file a day ("2026-12-07.log") in `folder`, on a thread of
// its own: write() only queues, so a slow or failing disk never holds up the
// line. Files older than the age limit, and the oldest beyond the size limit
// in all, are removed. The first problem is reported once, on the thread that
// made the writer.
class TrafficFileWriter : public QObject {
    Q_OBJECT

public:
    struct Limits {
        int days = 30;
        qint64 totalBytes = 50LL * 1024 * 1024;
        int queuedRows = 10000; // beyond this, rows are counted and dropped
        int gatherMs = 50;      // rows arriving within this are written together
    };
    using ProblemHandler = std::function<void(const QString& problem)>;

    TrafficFileWriter(const QString& folder, ProblemHandler onProblem, Limits limits,
                      QObject* parent = nullptr);
    TrafficFileWriter(const QString& folder, ProblemHandler onProblem, QObject* parent = nullptr)
        : TrafficFileWriter(folder, std::move(onProblem), Limits{}, parent) {}
    // Writes what is queued, then stops.
    ~TrafficFileWriter() override;

    // On the thread that made the writer.
    void write(const TrafficRow& row);
    // Blocks until everything queued so far is on disk (for tests and benchmarks).
    void drain();

    QString folder() const { return m_folder; }
    static QString fileNameFor(const QDate& day);

private:
    void run();
    void writeBatch(std::deque<TrafficRow>& rows, qint64 droppedRows);
    bool openDay(const QDate& day);
    void removeOldFiles(const QDate& today);
    void problem(const QString& text);

    const QString m_folder;
    const Limits m_limits;
    ProblemHandler m_onProblem;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    QTimer m_kick; // wakes the writer after a row has been queued
    std::deque<TrafficRow> m_queue;
    qint64 m_droppedRows = 0;
    bool m_busy = false;
    bool m_stop = false;

    // The writing thread's own.
    QFile m_file;
    QDate m_day;
    qint64 m_totalBytes = 0;
    bool m_paused = false; // the size limit is reached by today's file alone
    bool m_reported = false;

    std::thread m_thread;
};

} // namespace tavo
