#include "IniLineEditor.h"

#include "IniFileAccess.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tavo {
namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

IniEditResult failed(const QString& reason) {
    return {false, reason};
}

// The section header and the "key=value" line exactly as QSettings writes
// them, so that they read back as written. Empty when they cannot be made.
struct IniEntry {
    QByteArray header;
    QByteArray line;
    QByteArray key; // the key as it stands in front of "="
};

IniEntry iniEntry(const QString& section, const QString& key, const QString& value) {
    // A fresh file in a folder of its own: QSettings replaces the file, which Windows refuses
    // while another handle holds it open.
    const QTemporaryDir scratchDir;
    if (!scratchDir.isValid())
        return {};
    const QString scratch = scratchDir.filePath(QStringLiteral("entry.ini"));
    {
        QSettings ini(scratch, QSettings::IniFormat);
        ini.setValue(section + QLatin1Char('/') + key, value);
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return {};
    }
    // QSettings replaced the file rather than writing into it: read it anew.
    QFile written(scratch);
    if (!written.open(QIODevice::ReadOnly))
        return {};
    IniEntry entry;
    for (QByteArray line : written.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('['))
            entry.header = line;
        else if (!entry.header.isEmpty() && line.contains('=')) {
            entry.line = line;
            entry.key = line.left(line.indexOf('='));
            break;
        }
    }
    if (entry.line.isEmpty())
        return {};
    return entry;
}

// One line of the file, without its line end.
struct LineSpan {
    qsizetype start;
    qsizetype length;
};

QList<LineSpan> lineSpans(const QByteArray& text) {
    QList<LineSpan> spans;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        qsizetype length = end - start;
        if (length > 0 && text.at(start + length - 1) == '\r')
            --length;
        spans.append({start, length});
        start = end + 1;
    }
    return spans;
}

QByteArrayView trimmedLine(const QByteArray& text, LineSpan span) {
    return QByteArrayView(text.constData() + span.start, span.length).trimmed();
}

bool isSectionHeader(QByteArrayView trimmed) {
    return trimmed.startsWith('[');
}

bool isLineOfKey(QByteArrayView trimmed, QByteArrayView key) {
    if (trimmed.startsWith(';') || trimmed.startsWith('#'))
        return false;
    const qsizetype equals = trimmed.indexOf('=');
    return equals > 0 && trimmed.first(equals).trimmed() == key;
}

// Where the key stands in the file: its lines in every [section], and the
// last non-blank line of the last [section] (-1 when there is none).
struct KeyPlace {
    QList<LineSpan> spans;
    QList<qsizetype> keyLines;
    qsizetype insertAfter = -1;
};

KeyPlace findKey(const QByteArray& text, const IniEntry& entry) {
    KeyPlace place;
    place.spans = lineSpans(text);
    bool inSection = false;
    for (qsizetype i = 0; i < place.spans.size(); ++i) {
        const QByteArrayView trimmed = trimmedLine(text, place.spans[i]);
        if (isSectionHeader(trimmed)) {
            inSection = trimmed == entry.header;
            if (inSection)
                place.insertAfter = i;
        } else if (inSection && !trimmed.isEmpty()) {
            place.insertAfter = i;
            if (isLineOfKey(trimmed, entry.key))
                place.keyLines.append(i);
        }
    }
    return place;
}

enum class Missing { Add, Leave };

// Writes the entry's line into the entry's sections of `text`, touching no
// other byte: every line of the key is replaced; with none, the line goes
// after the last line of the last such section, or into a new section at the
// end when there is none.
QByteArray withKeyLine(const QByteArray& text, const IniEntry& entry,
                       Missing missing = Missing::Add) {
    const KeyPlace place = findKey(text, entry);
    if (place.keyLines.isEmpty() && missing == Missing::Leave)
        return text;

    QByteArray out;
    out.reserve(text.size() + entry.line.size() + entry.header.size() + 4);
    if (place.keyLines.isEmpty() && place.insertAfter < 0) {
        out = text;
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        return out + entry.header + '\n' + entry.line + '\n';
    }
    qsizetype copied = 0;
    auto copyUpTo = [&](qsizetype end) {
        out.append(text.constData() + copied, end - copied);
        copied = end;
    };
    if (place.keyLines.isEmpty()) {
        const LineSpan after = place.spans[place.insertAfter];
        const qsizetype lineEnd = text.indexOf('\n', after.start + after.length);
        if (lineEnd < 0) {
            copyUpTo(text.size());
            out += '\n';
        } else {
            copyUpTo(lineEnd + 1);
        }
        out += entry.line + '\n';
    } else {
        for (const qsizetype i : place.keyLines) {
            copyUpTo(place.spans[i].start);
            out += entry.line;
            copied = place.spans[i].start + place.spans[i].length;
        }
    }
    copyUpTo(text.size());
    return out;
}

// `text` without the key's lines (line ends included).
QByteArray withoutKeyLines(const QByteArray& text, const IniEntry& entry) {
    const KeyPlace place = findKey(text, entry);
    QByteArray out;
    out.reserve(text.size());
    qsizetype copied = 0;
    for (const qsizetype i : place.keyLines) {
        const LineSpan span = place.spans[i];
        out.append(text.constData() + copied, span.start - copied);
        const qsizetype lineEnd = text.indexOf('\n', span.start + span.length);
        copied = lineEnd < 0 ? text.size() : lineEnd + 1;
    }
    out.append(text.constData() + copied, text.size() - copied);
    return out;
}

// A new section holding the entry's line in front of everything else; lines
// that stood before the first header are put back under [General], where the
// INI reader had them.
QByteArray withLeadingSection(const QByteArray& text, const IniEntry& entry) {
    QByteArray out = entry.header + '\n' + entry.line + '\n';
    if (!text.trimmed().startsWith('['))
        out += "[General]\n";
    return out + text;
}

IniEditResult makeFolder(const QString& path) {
    std::error_code error;
    std::filesystem::create_directories(QFileInfo(path).absolutePath().toStdString(), error);
    if (error)
        return failed(QString::fromStdString(error.message()));
    return {true, {}};
}

QString lockReason(const QLockFile& lock) {
    switch (lock.error()) {
    case QLockFile::PermissionError:
        return systemReason(EACCES);
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host, program;
        if (lock.getLockInfo(&pid, &host, &program))
            return QStringLiteral("Locked by another program (%1, PID %2)").arg(program).arg(pid);
        return QStringLiteral("Locked by another program");
    }
    default:
        return QStringLiteral("Cannot create the lock file");
    }
}

IniEditResult replaceFile(const QString& path, const QByteArray& content, const QFileInfo& before) {
    // The file is replaced, not written into: refuse as writing into it would.
    if (before.exists()) {
        const QString notWritable = iniFileNotWritableReason(path);
        if (!notWritable.isEmpty())
            return failed(notWritable);
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return failed(out.errorString());
    if (out.write(content) != content.size() || !out.commit())
        return failed(out.errorString());
    // QSettings notices a change by size and modification time (in ms): make
    // sure a same-size write within the same millisecond still shows.
    const QDateTime stamp = QFileInfo(path).lastModified();
    if (before.exists() && stamp == before.lastModified()) {
        QFile touched(path);
        if (touched.open(QIODevice::Append))
            touched.setFileTime(stamp.addMSecs(1), QFileDevice::FileModificationTime);
    }
    return {true, {}};
}

bool readsBack(const QString& path, const QString& section, const QString& key,
               const QString& value) {
    const QSettings settings(path, QSettings::IniFormat);
    const QString keyPath = section + QLatin1Char('/') + key;
    return settings.contains(keyPath) && settings.value(keyPath).toString() == value;
}

// Runs `edit` on the file's text under the lock QSettings takes for its
// writes, so that two programs editing the file do not undo each other.
template <typename Edit>
IniEditResult editLocked(const QString& path, bool createFolder, Edit edit) {
    if (createFolder) {
        const IniEditResult folder = makeFolder(path);
        if (!folder.ok)
            return folder;
    }
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(2000))
        return failed(lockReason(lock));
    const QFileInfo before(path);
    QByteArray text;
    const IniEditResult read = readIniFileText(path, &text);
    if (!read.ok)
        return read;
    return edit(text, before);
}

} // namespace

QString unreadableReason(const QString& path) {
    return iniFileReason(path);
}

bool mayReadIniFile(const QString& path) {
    const QString reason = unreadableReason(path);
    if (reason.isEmpty())
        return true;
    static QMutex mutex;
    static QSet<QString> told;
    const QMutexLocker lock(&mutex);
    if (!told.contains(path + reason)) {
        told.insert(path + reason);
        qWarning("Settings file %s not read: %s", qPrintable(path), qPrintable(reason));
    }
    return false;
}

// QSettings would rewrite the whole file from what it could parse: comments,
// and everything after a line it cannot read (an open quote hides the rest of
// the file), would be lost. So the one line is edited in place.
IniEditResult writeIniKey(const QString& path, const QString& section, const QString& key,
                          const QString& value) {
    const IniEntry entry = iniEntry(section, key, value);
    if (entry.line.isEmpty())
        return failed(QStringLiteral("Cannot encode the value"));
    return editLocked(path, true, [&](const QByteArray& text, const QFileInfo& before) {
        const IniEditResult written = replaceFile(path, withKeyLine(text, entry), before);
        if (!written.ok || readsBack(path, section, key, value))
            return written;
        // A damaged line above (an open quote) can hide the section from the
        // reader; then the value goes into a section of its own at the top.
        return replaceFile(path,
                           withLeadingSection(withKeyLine(text, entry, Missing::Leave), entry),
                           QFileInfo(path));
    });
}

IniEditResult removeIniKey(const QString& path, const QString& section, const QString& key) {
    const IniEntry entry = iniEntry(section, key, QString());
    if (entry.line.isEmpty())
        return failed(QStringLiteral("Cannot encode the key"));
    if (!QFileInfo::exists(path))
        return {true, {}};
    return editLocked(path, false, [&](const QByteArray& text, const QFileInfo& before) {
        const QByteArray without = withoutKeyLines(text, entry);
        if (without.size() == text.size())
            return IniEditResult{true, {}};
        return replaceFile(path, without, before);
    });
}

std::optional<QByteArray> readIniKeyRaw(const QString& path, const QString& section,
                                        const QString& key) {
    const IniEntry entry = iniEntry(section, key, QString());
    QByteArray text;
    if (entry.line.isEmpty() || !readIniFileText(path, &text).ok)
        return std::nullopt;
    const KeyPlace place = findKey(text, entry);
    if (place.keyLines.isEmpty())
        return std::nullopt;
    const QByteArrayView line = trimmedLine(text, place.spans[place.keyLines.last()]);
    return line.sliced(line.indexOf('=') + 1).trimmed().toByteArray();
}

} // namespace tavo
