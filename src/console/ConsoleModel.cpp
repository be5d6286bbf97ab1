#include "ConsoleModel.h"

#include "ProjectorLink.h"

namespace tavo {

namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kCarriageReturnMarker[] = "[CR]";

// Everything before the first '[' of the command text, or the whole text.
QString commandPartOf(const QString& text) {
    const qsizetype bracket = text.indexOf(QLatin1Char('['));
    return bracket < 0 ? text : text.left(bracket);
}

// Typing cannot put a control character into the text box, but a paste can; a CR would send
// a second, unaddressed command.
bool fitsOneLineOfLatin1(const QString& text) {
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code > 0xFF || code < 0x20 || code == 0x7F)
            return false;
    }
    return true;
}

} // namespace

ConsoleModel::ConsoleModel(ProjectorLink& link, ConsoleView& view, std::function<void()> onClosed)
    : m_link(link), m_view(view), m_onClosed(std::move(onClosed)) {}

void ConsoleModel::Form_Load() {
    m_view.showList(catalogue::List::Combo1);
    m_view.setHintVisible(ConsoleHint::Label1, false);
    m_view.setHintVisible(ConsoleHint::Label2, false);
    m_view.setWindowHeightTwips(kLoadHeight);
    m_view.selectRow(catalogue::List::Combo1, 0);
    comboClick(catalogue::List::Combo1, 0);
    m_view.moveListsTop(kListsTop);
}

void ConsoleModel::Command3_Click() {
    showFirstEntry(catalogue::List::Combo1);
}
void ConsoleModel::Command4_Click() {
    showFirstEntry(catalogue::List::Combo2);
}
void ConsoleModel::Command5_Click() {
    showFirstEntry(catalogue::List::Combo3);
}

void ConsoleModel::showFirstEntry(catalogue::List list) {
    m_view.showList(list);
    m_view.selectRow(list, 0);
    comboClick(list, 0);
    // The button sets the command from its entry itself, not only through the
    // selection handler above; the text is the same, so this changes nothing
    // the operator sees and leaves the command right if the handler skips a row.
    setCommandFromEntry(catalogue::entry(list, 0));
}

void ConsoleModel::comboClick(catalogue::List list, int row) {
    if (row < 0 || row >= catalogue::entryCount(list))
        return;
    const QByteArray& entry = catalogue::entry(list, row);
    m_view.setHintVisible(ConsoleHint::Label2, true);
    // Only the expanded list marks parameter digits; a "%" in the description
    // counts too, so the operator reads it before sending.
    if (list == catalogue::List::Combo2) {
        const bool parameter = catalogue::hasParameter(entry);
        m_view.setHintVisible(ConsoleHint::Label1, parameter);
        if (parameter)
            m_view.focusCommandText();
    }
    setCommandFromEntry(entry);
}

void ConsoleModel::setCommandFromEntry(const QByteArray& entry) {
    const QByteArray command = catalogue::commandText(entry);
    ConsoleCommand = command + kCarriageReturn;
    const QString text = QString::fromLatin1(command + kCarriageReturnMarker);
    m_view.setCommandText(text);
    Text1_Change(text);
}

void ConsoleModel::Text1_Change(const QString& text) {
    const QString command = commandPartOf(text);
    // An empty text has no command part; a character beyond one byte has no
    // form on the line, and a control character would change what the line
    // carries. Either way there is nothing to send.
    const bool sendable = !text.isEmpty() && fitsOneLineOfLatin1(command);
    ConsoleCommand = sendable ? command.toLatin1() + kCarriageReturn : QByteArray();
    m_view.setSendEnabled(sendable);
}

void ConsoleModel::Command1_Click() {
    if (ConsoleCommand.isEmpty())
        return;
    // Both timers count a full interval from this send, whatever ran before.
    QByteArray framed = ConsoleCommand; // the send step prefixes the address into it
    m_link.sendAfresh(framed);
    m_view.setHintVisible(ConsoleHint::Label1, false);
    m_view.setHintVisible(ConsoleHint::Label2, false);
}

void ConsoleModel::Command2_Click() {
    m_view.closeWindow();
    if (m_onClosed)
        m_onClosed();
}

void ConsoleModel::closeBox() {
    Command2_Click();
}

} // namespace tavo
