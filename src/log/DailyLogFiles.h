#pragma once

#include <QDate>
#include <QFile>
#include <QString>

#include <functional>

namespace tavo {

// The folder of daily files ("2026-12-07.log"): appends a day's lines to its
// file, and keeps the last `days` days and at most `totalBytes` of them, oldest
// first out. Only files named as its own are counted or removed, never
// today's; today's file stops growing at the limit. Used by one thread.
class DailyLogFiles {
public:
    using ProblemHandler = std::function<void(const QString& problem)>;

    DailyLogFiles(const QString& folder, int days, qint64 totalBytes, ProblemHandler onProblem);

    // `text` is whole lines, all of `day`.
    void append(const QDate& day, const QByteArray& text);
    void close() { m_file.close(); }

    static QString fileNameFor(const QDate& day);
    // The day a file of ours is named for; invalid for any other name.
    static QDate dayOf(const QString& fileName);

private:
    bool openDay(const QDate& day);
    void removeOldFiles(const QDate& today);

    const QString m_folder;
    const int m_days;
    const qint64 m_limitBytes;
    ProblemHandler m_onProblem;

    QFile m_file;
    QString m_path;
    QDate m_day;
    qint64 m_totalBytes = 0;
    bool m_paused = false; // the size limit is reached by today's file alone
};

} // namespace tavo
