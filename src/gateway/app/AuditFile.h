#pragma once

#include "AuditLog.h"

#include <QString>

namespace tavo::gateway {

// The audit log as JSON lines in a file (--audit-file), one record a line, appended. Opened
// without following a symbolic link and refused unless it is a regular file, so a FIFO or a
// link planted in its place neither blocks the gateway nor redirects its lines. reopen() after
// the file was moved away (logrotate, then SIGUSR1) starts a new one; while that fails the
// lines go on into the old one.
class AuditFile {
public:
    AuditFile() = default;
    ~AuditFile();
    AuditFile(const AuditFile&) = delete;
    AuditFile& operator=(const AuditFile&) = delete;

    bool open(const QString& path, QString* error);
    bool reopen(QString* error);
    void write(const AuditRecord& record);
    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

// The audit log in the service's log: with journald behind standard error, a journal entry of
// its own whose fields (AUDIT_FRONT, AUDIT_CLIENT, AUDIT_PAYLOAD, AUDIT_PROJECTOR,
// AUDIT_COMMAND, AUDIT_RESULT, AUDIT_DETAIL, and MX7300_AUDIT=1) `journalctl -o json` can
// filter on; else one "audit: front=… client=\"…\" …" line on standard error.
void journalAudit(const AuditRecord& record);

} // namespace tavo::gateway
