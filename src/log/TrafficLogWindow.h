#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace tavo {

class TrafficLog;
class TrafficLogModel;

// "Traffic Log": every event on the line as a row, with a filter, Copy,
// Save As… and Clear, and the link's state in the status bar. It sits beside
// the designed windows and changes nothing of theirs.
class TrafficLogWindow : public QWidget {
    Q_OBJECT

public:
    explicit TrafficLogWindow(TrafficLog& log, QWidget* parent = nullptr);

    // The link's state in words, asked again whenever something happened.
    void setStatusSource(std::function<QString()> source);
    void refreshStatus();
    // A problem with the log file, shown until the window closes.
    void setLogProblem(const QString& problem);

    // The rows the filter lets through, as lines of plain text.
    QString visibleText() const;
    // Writes the rows shown to `path`; false and `error` when that failed.
    bool saveTo(const QString& path, QString* error = nullptr) const;
    void copyRows() const;
    void clearRows();
    void setFilterText(const QString& text);

    TrafficLogModel& model() { return *m_model; }
    QSortFilterProxyModel& shownRows() { return *m_shown; }
    QTableView& table() { return *m_table; }
    QString statusText() const;
    QString noticeText() const;

private:
    void saveAs();
    void updateNotice();
    QString linesFor(const QList<int>& shownRows) const;

    TrafficLog& m_log;
    TrafficLogModel* m_model = nullptr;
    QSortFilterProxyModel* m_shown = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_filter = nullptr;
    QTimer* m_filterDelay = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_notice = nullptr;
    QString m_logProblem;
    QString m_saveProblem;
    std::function<QString()> m_statusSource;
    bool m_following = true;
};

} // namespace tavo
