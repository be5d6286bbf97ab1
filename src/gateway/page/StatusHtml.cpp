#include "StatusHtml.h"

#include <QFile>
#include <QRegularExpression>

namespace tavo::gateway::page {
namespace {

QString resource(const QString& name) {
    QFile file(QStringLiteral(":/status-page/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Safe in text and in double-quoted attributes.
QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString orDash(const QString& text) {
    return !text.isEmpty() ? esc(text) : QStringLiteral("—");
}

QString temperaturesText(const std::optional<QList<double>>& temperatures) {
    if (!temperatures)
        return QStringLiteral("—");
    QStringList parts;
    for (double t : *temperatures)
        parts << QString::number(t, 'f', 1);
    return parts.join(QStringLiteral(" / "));
}

QString cell(const char* kind, const QString& label, const QString& html,
             const QString& extra = {}) {
    return QStringLiteral("<td class=\"%1%4\" data-label=\"%2\">%3</td>")
        .arg(QLatin1String(kind), label, html, extra);
}

// One submit button of the page's form: "ACTION:VALUE:KIND:TARGET", the target last since a
// room's name may hold colons.
QString button(const QString& action, const QString& value, const QString& kind,
               const QString& target, const QString& caption) {
    return QStringLiteral("<button name=\"do\" value=\"%1:%2:%3:%4\">%5</button>")
        .arg(action, value, kind, esc(target), caption);
}

QString buttons(const QString& kind, const QString& target) {
    QString html = QStringLiteral("<span class=\"power-buttons\">");
    html +=
        button(QStringLiteral("power"), QStringLiteral("on"), kind, target, QStringLiteral("On"));
    html +=
        button(QStringLiteral("power"), QStringLiteral("off"), kind, target, QStringLiteral("Off"));
    html += QStringLiteral("</span><span class=\"input-buttons\"><span>Input</span>");
    for (int input = 1; input <= 4; ++input)
        html += button(QStringLiteral("input"), QString::number(input), kind, target,
                       QString::number(input));
    return html + QStringLiteral("</span>");
}

QString rowHtml(const StatusRow& row, bool writable) {
    const ProjectorConfig& c = row.config;
    const ProjectorState& s = row.state;
    // Joined, not arg()-chained: a room holding "%1" must not take the next argument.
    QString html = QStringLiteral("<tr data-name=\"") + esc(c.name) +
                   QStringLiteral("\" data-room=\"") + esc(c.room) +
                   QStringLiteral("\" data-lamp-warn=\"") + QString::number(c.lampWarnHours) +
                   (s.available ? QStringLiteral("\">") : QStringLiteral("\" class=\"offline\">"));
    html += cell("name", QStringLiteral("Projector"), esc(c.name));
    html += cell("avail", QStringLiteral("State"), esc(availabilityWord(row)));
    html += cell("power", QStringLiteral("Power"), orDash(powerWords(s)));
    html += cell("input", QStringLiteral("Input"), orDash(inputWordsOf(s)));
    html += cell("lamp", QStringLiteral("Lamp hours"),
                 s.lampHours ? QString::number(*s.lampHours) : QStringLiteral("—"),
                 lampWarning(row) ? QStringLiteral(" warn") : QString());
    html += cell("temps", QStringLiteral("Temperatures °C"), temperaturesText(s.temperatures));
    if (writable)
        html +=
            cell("ctl", QStringLiteral("Control"), buttons(QStringLiteral("projector"), c.name));
    return html + QStringLiteral("</tr>\n");
}

QString roomHtml(const QString& room, const QList<const StatusRow*>& rows, bool writable) {
    const QString heading = room.isEmpty() ? QStringLiteral("No room")
                                           : QStringLiteral("Room <q>%1</q>").arg(esc(room));
    QString html = QStringLiteral("<section class=\"room\">\n<h2>%1</h2>\n").arg(heading);
    if (writable)
        html +=
            QStringLiteral("<div class=\"room-actions\"><span>All of the room:</span>%1</div>\n")
                .arg(buttons(QStringLiteral("room"), room));
    html += QStringLiteral("<table>\n<thead><tr><th>Projector</th><th>State</th><th>Power</th>"
                           "<th>Input</th><th>Lamp hours</th><th>Temperatures °C</th>%1</tr>"
                           "</thead>\n<tbody>\n")
                .arg(writable ? QStringLiteral("<th>Control</th>") : QString());
    for (const StatusRow* row : rows)
        html += rowHtml(*row, writable);
    return html + QStringLiteral("</tbody>\n</table>\n</section>\n");
}

} // namespace

QString availabilityWord(const StatusRow& row) {
    if (!row.portOpen)
        return QStringLiteral("port not open");
    return row.state.available ? QStringLiteral("online") : QStringLiteral("offline");
}

bool lampWarning(const StatusRow& row) {
    return row.state.lampHours && *row.state.lampHours >= row.config.lampWarnHours;
}

QByteArray statusPageHtml(const QString& site, const QList<StatusRow>& rows, bool writable,
                          const QDateTime& now) {
    QStringList rooms;
    QHash<QString, QList<const StatusRow*>> byRoom;
    for (const StatusRow& row : rows) {
        if (!byRoom.contains(row.config.room))
            rooms << row.config.room;
        byRoom[row.config.room] << &row;
    }
    QString sections;
    for (const QString& room : rooms)
        sections += roomHtml(room, byRoom.value(room), writable);
    const QString main =
        writable ? fillTemplate(resource(QStringLiteral("controls.html")),
                                {{QStringLiteral("rooms"), sections}})
                 : QStringLiteral("<p class=\"note\">Read-only: the gateway was started without "
                                  "--http-token-file.</p>\n") +
                       sections;
    return fillTemplate(resource(QStringLiteral("status.html")),
                        {{QStringLiteral("site"), esc(site)},
                         {QStringLiteral("time"), now.toUTC().toString(QStringLiteral("HH:mm:ss"))},
                         {QStringLiteral("main"), main}})
        .toUtf8();
}

QByteArray resultPageHtml(const QString& heading, const QStringList& lines) {
    QString paragraphs;
    for (const QString& line : lines)
        paragraphs += QStringLiteral("<p>%1</p>\n").arg(esc(line));
    return fillTemplate(
               resource(QStringLiteral("result.html")),
               {{QStringLiteral("heading"), esc(heading)}, {QStringLiteral("lines"), paragraphs}})
        .toUtf8();
}

QString fillTemplate(const QString& text, const QHash<QString, QString>& values) {
    static const QRegularExpression placeholder(QStringLiteral("\\{\\{([a-z]+)\\}\\}"));
    QString out;
    qsizetype from = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += QStringView(text).mid(from, match.capturedStart() - from);
        out += values.value(match.captured(1));
        from = match.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

} // namespace tavo::gateway::page
