#include "DailyLogFiles.h"

#include "RegularFileAppend.h"

#include <QDir>

namespace tavo {

DailyLogFiles::DailyLogFiles(const QString& folder, int days, qint64 totalBytes,
                             ProblemHandler onProblem)
    : m_folder(folder), m_days(days), m_limitBytes(totalBytes), m_onProblem(std::move(onProblem)) {}

QString DailyLogFiles::fileNameFor(const QDate& day) {
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

QDate DailyLogFiles::dayOf(const QString& fileName) {
    // Checked by hand rather than with QRegularExpression: this runs on the log writer's
    // thread, and a thread that has matched a pattern frees Qt's per-thread matching stack as
    // it ends, which crashed the Windows console at exit now and then under Wine. [0-9], not
    // isDigit(): other scripts' digits are not a day.
    static constexpr char kShape[] = "0000-00-00.log";
    constexpr int kLength = int(sizeof kShape) - 1;
    if (fileName.size() != kLength)
        return {};
    for (int i = 0; i < kLength; ++i) {
        const char16_t c = fileName.at(i).unicode();
        if (kShape[i] == '0' ? (c < u'0' || c > u'9') : c != char16_t(kShape[i]))
            return {};
    }
    return QDate::fromString(fileName.left(10), QStringLiteral("yyyy-MM-dd"));
}

void DailyLogFiles::append(const QDate& day, const QByteArray& text) {
    if (text.isEmpty() || !openDay(day) || m_paused)
        return;
    if (m_file.write(text) != text.size() || !m_file.flush()) {
        m_onProblem(QStringLiteral("cannot write %1: %2")
                        .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
        m_file.close(); // try afresh with the next rows
        m_day = QDate();
        return;
    }
    m_totalBytes += text.size();
    if (m_totalBytes > m_limitBytes)
        removeOldFiles(m_day);
}

bool DailyLogFiles::openDay(const QDate& day) {
    if (m_file.isOpen() && m_day == day)
        return true;
    m_file.close();
    m_paused = false;
    if (!QDir().mkpath(m_folder)) {
        m_onProblem(
            QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    removeOldFiles(day);
    m_path = QDir(m_folder).filePath(fileNameFor(day));
    QString reason;
    if (!openRegularFileToAppend(m_file, m_path, &reason)) {
        m_onProblem(
            QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(m_path), reason));
        return false;
    }
    m_day = day;
    return true;
}

void DailyLogFiles::removeOldFiles(const QDate& today) {
    // A link named like a daily file is not one we made: left alone, and not counted.
    const QFileInfoList entries =
        QDir(m_folder).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name); // oldest first
    QFileInfoList files;
    qint64 total = 0;
    for (const QFileInfo& entry : entries) {
        if (dayOf(entry.fileName()).isValid()) {
            files << entry;
            total += entry.size();
        }
    }
    const QDate oldestKept = today.addDays(-(m_days - 1));
    const QString todayName = fileNameFor(today);
    for (const QFileInfo& file : files) {
        if (file.fileName() == todayName)
            continue;
        if ((dayOf(file.fileName()) < oldestKept || total > m_limitBytes) &&
            QFile::remove(file.filePath()))
            total -= file.size();
    }
    m_totalBytes = total;
    if (total > m_limitBytes && !m_paused) {
        m_paused = true;
        m_onProblem(
            QStringLiteral("the log folder holds its limit of %1 MB; today's log stops here")
                .arg(m_limitBytes / (1024 * 1024)));
    }
}

} // namespace tavo
