#include "IniSettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tavo {
namespace {
const QString kSection = QStringLiteral("StartUP");
const QByteArray kHeader = QByteArrayLiteral("[StartUP]");

QString keyPath(const QString& key) {
    return kSection + QLatin1Char('/') + key;
}

// "key=value" escaped and quoted exactly as QSettings writes it, so that it
// reads back as written. Empty when it cannot be produced.
QByteArray iniLine(const QString& key, const QString& value) {
    QTemporaryFile scratch;
    if (!scratch.open())
        return {};
    {
        QSettings ini(scratch.fileName(), QSettings::IniFormat);
        ini.setValue(keyPath(key), value);
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return {};
    }
    // QSettings replaced the file rather than writing into it: read it anew.
    QFile written(scratch.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return {};
    const QByteArray prefix = key.toUtf8() + '=';
    for (QByteArray line : written.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(prefix))
            return line;
    }
    return {};
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

bool isSectionHeader(QByteArrayView trimmed) {
    return trimmed.startsWith('[');
}

bool isLineOfKey(QByteArrayView trimmed, QByteArrayView key) {
    if (trimmed.startsWith(';') || trimmed.startsWith('#'))
        return false;
    const qsizetype equals = trimmed.indexOf('=');
    return equals > 0 && trimmed.first(equals).trimmed() == key;
}

enum class Missing { Add, Leave };

// Writes `line` for `key` into the [StartUP] sections of `text`, touching no
// other byte: every line of the key is replaced; with none, the line goes
// after the last line of the last [StartUP] section, or into a new section
// at the end when there is none.
QByteArray withKeyLine(const QByteArray& text, QByteArrayView key, const QByteArray& line,
                       Missing missing = Missing::Add) {
    const QList<LineSpan> spans = lineSpans(text);
    QList<qsizetype> keyLines;
    qsizetype insertAfter = -1; // last non-blank line of the last [StartUP] section
    bool inSection = false;
    for (qsizetype i = 0; i < spans.size(); ++i) {
        const QByteArrayView trimmed =
            QByteArrayView(text.constData() + spans[i].start, spans[i].length).trimmed();
        if (isSectionHeader(trimmed)) {
            inSection = trimmed == kHeader;
            if (inSection)
                insertAfter = i;
        } else if (inSection && !trimmed.isEmpty()) {
            insertAfter = i;
            if (isLineOfKey(trimmed, key))
                keyLines.append(i);
        }
    }
    if (keyLines.isEmpty() && missing == Missing::Leave)
        return text;

    QByteArray out;
    out.reserve(text.size() + line.size() + kHeader.size() + 4);
    if (keyLines.isEmpty() && insertAfter < 0) {
        out = text;
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        return out + kHeader + '\n' + line + '\n';
    }
    qsizetype copied = 0;
    auto copyUpTo = [&](qsizetype end) {
        out.append(text.constData() + copied, end - copied);
        copied = end;
    };
    if (keyLines.isEmpty()) {
        const LineSpan after = spans[insertAfter];
        const qsizetype lineEnd = text.indexOf('\n', after.start + after.length);
        if (lineEnd < 0) {
            copyUpTo(text.size());
            out += '\n';
        } else {
            copyUpTo(lineEnd + 1);
        }
        out += line + '\n';
    } else {
        for (const qsizetype i : keyLines) {
            copyUpTo(spans[i].start);
            out += line;
            copied = spans[i].start + spans[i].length;
        }
    }
    copyUpTo(text.size());
    return out;
}

// A new [StartUP] section holding `line` in front of everything else; lines
// that stood before the first header are put back under [General], where
// the INI reader had them.
QByteArray withLeadingSection(const QByteArray& text, const QByteArray& line) {
    QByteArray out = kHeader + '\n' + line + '\n';
    if (!text.trimmed().startsWith('['))
        out += "[General]\n";
    return out + text;
}
} // namespace

QString IniSettingsStore::defaultPath() {
    // GenericConfigLocation follows XDG_CONFIG_HOME on Linux.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/TAVO/TAVO.ini");
}

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultPath()) {}

IniSettingsStore::IniSettingsStore(const QString& path) : m_settings(path, QSettings::IniFormat) {}

QString IniSettingsStore::read(const QString& key, const QString& fallback) const {
    m_settings.sync(); // picks up what save() or another program wrote since
    const QString path = keyPath(key);
    if (!m_settings.contains(path))
        return fallback;
    const QVariant value = m_settings.value(path);
    // An unquoted comma makes QSettings read a list; give the text back whole.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// QSettings would rewrite the whole file from what it could parse: comments,
// and everything after a line it cannot read (an open quote hides the rest
// of the file), would be lost. So a save edits the one line in place and
// replaces the file in one step; when the file cannot be read or replaced,
// nothing is written at all.
void IniSettingsStore::save(const QString& key, const QString& value) {
    const QString path = m_settings.fileName();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return;
    // The lock QSettings takes for its writes, so that another program
    // writing its [Ports] key and this save do not undo each other.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(2000))
        return;
    const QFileInfo before(path);
    QByteArray text;
    if (before.exists()) {
        QFile file(path);
        if (before.isDir() || !file.open(QIODevice::ReadOnly))
            return;
        text = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return;
    }
    const QByteArray line = iniLine(key, value);
    if (line.isEmpty())
        return;

    auto replaceFile = [&](const QByteArray& content) {
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() ||
            !out.commit())
            return false;
        // QSettings notices a change by size and modification time (in ms):
        // make sure a same-size save within the same millisecond still shows.
        const QDateTime stamp = QFileInfo(path).lastModified();
        if (before.exists() && stamp == before.lastModified()) {
            QFile touched(path);
            if (touched.open(QIODevice::Append))
                touched.setFileTime(stamp.addMSecs(1), QFileDevice::FileModificationTime);
        }
        return true;
    };

    const QByteArray keyBytes = key.toUtf8();
    if (!replaceFile(withKeyLine(text, keyBytes, line)))
        return;
    // A damaged line above (an open quote) can hide the section from the
    // reader; then the value goes into a section of its own at the top.
    m_settings.sync();
    if (!m_settings.contains(keyPath(key)) || m_settings.value(keyPath(key)).toString() != value)
        replaceFile(withLeadingSection(withKeyLine(text, keyBytes, line, Missing::Leave), line));
}

} // namespace tavo
