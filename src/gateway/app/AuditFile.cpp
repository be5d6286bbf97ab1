#include "AuditFile.h"

#include "Log.h"

#include <QFile>
#include <QJsonDocument>

#include <systemd/sd-journal.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::gateway {
namespace {

// journald's stream on standard error: $JOURNAL_STREAM names its device and inode.
bool stderrIsJournal() {
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat st {};
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &st) != 0)
        return false;
    return stream ==
           QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
}

// A value for a key=value line: quoted, with quotes and backslashes escaped.
QString quoted(const QString& value) {
    QString out = value;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

} // namespace

AuditFile::~AuditFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool AuditFile::open(const QString& path, QString* error) {
    m_path = path;
    return reopen(error);
}

bool AuditFile::reopen(QString* error) {
    const QByteArray name = QFile::encodeName(m_path);
    const int fd =
        ::open(name.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("%1: not a regular file").arg(m_path);
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return true;
}

void AuditFile::write(const AuditRecord& record) {
    if (m_fd < 0)
        return;
    const QByteArray line = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n';
    // One write per line with O_APPEND: lines stay whole. A full disk loses the line, told once.
    static bool told = false;
    if (::write(m_fd, line.constData(), size_t(line.size())) != line.size() && !told) {
        told = true;
        logLine(Priority::Warning,
                QStringLiteral("audit file %1: %2")
                    .arg(m_path, QString::fromLocal8Bit(std::strerror(errno))),
                lcAudit());
    }
}

void journalAudit(const AuditRecord& r) {
    const QString message =
        QStringLiteral("audit: front=%1 client=%2 projector=%3 command=%4 result=%5 detail=%6 "
                       "payload=%7")
            .arg(r.front, quoted(r.client), quoted(r.projector), quoted(r.command), r.result,
                 quoted(r.detail), quoted(r.payload));
    static const bool journal = stderrIsJournal();
    if (!journal) {
        logLine(Priority::Info, message, lcAudit());
        return;
    }
    const auto field = [](const char* key, const QString& value) {
        return QByteArray(key) + '=' + value.toUtf8();
    };
    const QByteArray fields[] = {
        field("MESSAGE", message),
        "PRIORITY=5",
        "MX7300_AUDIT=1",
        field("AUDIT_FRONT", r.front),
        field("AUDIT_CLIENT", r.client),
        field("AUDIT_PAYLOAD", r.payload),
        field("AUDIT_PROJECTOR", r.projector),
        field("AUDIT_COMMAND", r.command),
        field("AUDIT_RESULT", r.result),
        field("AUDIT_DETAIL", r.detail),
    };
    struct iovec iov[std::size(fields)];
    for (size_t i = 0; i < std::size(fields); ++i)
        iov[i] = {const_cast<char*>(fields[i].constData()), size_t(fields[i].size())};
    ::sd_journal_sendv(iov, int(std::size(fields)));
}

} // namespace tavo::gateway
