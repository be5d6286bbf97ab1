// Prints every catalogue entry as a JSON string on a line of its own, each list headed by
// "# Combo1", "# Combo2" or "# Combo3", so that tabs, CR LF and trailing spaces stay visible.
#include "console/Catalogue.h"

#include <cstdio>

namespace {

using tavo::catalogue::List;

QByteArray jsonString(const QByteArray& text) {
    QByteArray out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00" +
                       QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out + '"';
}

void printList(List list, const char* heading) {
    QByteArray text = QByteArray("# ") + heading + '\n';
    for (int row = 0; row < tavo::catalogue::entryCount(list); ++row)
        text += jsonString(tavo::catalogue::entry(list, row)) + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

} // namespace

int main() {
    printList(List::Combo1, "Combo1");
    printList(List::Combo2, "Combo2");
    printList(List::Combo3, "Combo3");
    return std::fflush(stdout) == 0 ? 0 : 1;
}
