#pragma once

#include "TrafficRow.h"

#include <QDate>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <thread>

namespace tavo {

// Writes rows to one file a day ("2026-12-07.log") in `folder`, on a thread of
// its own: write() only queues, so a slow or failing disk never holds up the
// line. Files older than the age limit, and the oldest beyond the size limit
// in all, are removed (see DailyLogFiles). The first problem is reported once,
// on the thread that made the writer.
class TrafficFileWriter : public QObject {
    Q_OBJECT

public:
    struct Limits {
        int days = 30;
        qint64 totalBytes = 50LL * 1024 * 1024;
        int queuedRows = 10000; // beyond this, rows are counted and dropped
        int gatherMs = 50;      // rows arriving within this are written together
        int stopWaitMs = 2000;  // the longest the destructor waits for the disk
    };
    using ProblemHandler = std::function<void(const QString& problem)>;

    TrafficFileWriter(const QString& folder, ProblemHandler onProblem, Limits limits,
                      QObject* parent = nullptr);
    TrafficFileWriter(const QString& folder, ProblemHandler onProblem, QObject* parent = nullptr)
        : TrafficFileWriter(folder, std::move(onProblem), Limits{}, parent) {}
    // Writes what is queued, then stops; a thread still stuck in the kernel
    // after stopWaitMs is left to finish (or not) on its own.
    ~TrafficFileWriter() override;

    // On the thread that made the writer.
    void write(const TrafficRow& row);
    // Blocks until everything queued so far is on disk (for tests and benchmarks).
    void drain();

    QString folder() const { return m_folder; }
    static QString fileNameFor(const QDate& day);

private:
    struct Shared;

    const QString m_folder;
    const Limits m_limits;
    QTimer m_kick; // wakes the writer after a row has been queued
    // The queue and the files, shared with the thread so that it can outlive the writer.
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace tavo
