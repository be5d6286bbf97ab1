#include "TrafficLogWindow.h"

#include "TrafficLog.h"
#include "TrafficLogModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {

TrafficLogWindow::TrafficLogWindow(TrafficLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window), m_log(log) {
    setObjectName(QStringLiteral("TrafficLog"));
    setWindowTitle(QStringLiteral("Traffic Log"));

    m_model = new TrafficLogModel(log, this);
    // The filter text anywhere in a row's line, case aside.
    m_shown = new QSortFilterProxyModel(this);
    m_shown->setSourceModel(m_model);
    m_shown->setFilterRole(TrafficLogModel::LineRole);
    m_shown->setFilterKeyColumn(TrafficLogModel::Time);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_filterDelay = new QTimer(this);
    m_filterDelay->setSingleShot(true);
    m_filterDelay->setTimerType(Qt::PreciseTimer);
    m_filterDelay->setInterval(200); // one pass over the rows per pause in typing
    connect(m_filter, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this, [this] { setFilterText(m_filter->text()); });

    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    auto* save = new QPushButton(QStringLiteral("Save As…"), this);
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    connect(copy, &QPushButton::clicked, this, &TrafficLogWindow::copyRows);
    connect(save, &QPushButton::clicked, this, &TrafficLogWindow::saveAs);
    connect(clear, &QPushButton::clicked, this, &TrafficLogWindow::clearRows);

    m_table = new QTableView(this);
    m_table->setModel(m_shown);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured row by row, so
    // a full ring opens at once.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {14, 9, 18, 7, 36, 30, 24};
    for (int column = 0; column < TrafficLogModel::ColumnCount; ++column)
        m_table->setColumnWidth(column, widths[column] * digit);
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("linkState"));
    m_status->setTextFormat(Qt::PlainText);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::PlainText);
    auto* statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    statusBar->addWidget(m_status, 1);
    statusBar->addPermanentWidget(m_notice);

    auto* tools = new QHBoxLayout;
    tools->addWidget(m_filter, 1);
    tools->addWidget(copy);
    tools->addWidget(save);
    tools->addWidget(clear);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(tools);
    layout->addWidget(m_table, 1);
    layout->addWidget(statusBar);
    resize(120 * digit, 32 * fontMetrics().height());

    // Follow the newest rows unless the operator has scrolled away from them.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = m_table->verticalScrollBar();
        m_following = bar->value() == bar->maximum();
    });
    connect(m_model, &TrafficLogModel::synced, this, [this] {
        if (m_following)
            m_table->scrollToBottom();
        refreshStatus();
        updateNotice();
    });
    m_table->scrollToBottom();
    updateNotice();
}

void TrafficLogWindow::setStatusSource(std::function<QString()> source) {
    m_statusSource = std::move(source);
    refreshStatus();
}

void TrafficLogWindow::refreshStatus() {
    if (m_statusSource)
        m_status->setText(m_statusSource());
}

void TrafficLogWindow::setLogProblem(const QString& problem) {
    m_logProblem = problem;
    updateNotice();
}

QString TrafficLogWindow::statusText() const {
    return m_status->text();
}

QString TrafficLogWindow::noticeText() const {
    return m_notice->text();
}

void TrafficLogWindow::updateNotice() {
    QStringList parts;
    if (m_log.dropped() > 0)
        parts << QStringLiteral("keeps the newest %1 rows; %2 older dropped")
                     .arg(m_log.capacity())
                     .arg(m_log.dropped());
    if (!m_logProblem.isEmpty())
        parts << QStringLiteral("log file: ") + m_logProblem;
    if (!m_saveProblem.isEmpty())
        parts << m_saveProblem;
    m_notice->setText(parts.join(QStringLiteral(" · ")));
}

void TrafficLogWindow::setFilterText(const QString& text) {
    if (m_filter->text() != text)
        m_filter->setText(text);
    m_filterDelay->stop();
    m_shown->setFilterFixedString(text);
}

QString TrafficLogWindow::linesFor(const QList<int>& shownRows) const {
    QByteArray text;
    for (int shown : shownRows) {
        const QModelIndex source = m_shown->mapToSource(m_shown->index(shown, 0));
        if (const TrafficRow* row = m_model->rowAt(source.row())) {
            text += fileLine(*row);
            text += '\n';
        }
    }
    return QString::fromUtf8(text);
}

QString TrafficLogWindow::visibleText() const {
    QList<int> rows;
    for (int i = 0; i < m_shown->rowCount(); ++i)
        rows << i;
    return linesFor(rows);
}

void TrafficLogWindow::copyRows() const {
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QApplication::clipboard()->setText(rows.isEmpty() ? visibleText() : linesFor(rows));
}

bool TrafficLogWindow::saveTo(const QString& path, QString* error) const {
    QSaveFile file(path);
    const QByteArray text = visibleText().toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

void TrafficLogWindow::saveAs() {
    const QString suggested =
        QStringLiteral("traffic-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), suggested,
                                                      QStringLiteral("Text (*.txt *.log)"));
    if (path.isEmpty())
        return;
    QString error;
    m_saveProblem =
        saveTo(path, &error) ? QString() : QStringLiteral("not saved: %1: %2").arg(path, error);
    updateNotice();
}

void TrafficLogWindow::clearRows() {
    m_log.clear();
    m_model->sync();
}

} // namespace tavo
