// Prints every catalogue entry as a JSON string on a line of its own, each list headed by
// "# Combo1", "# Combo2" or "# Combo3", so that tabs, CR LF and trailing spaces stay visible.
#include "Catalogue.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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

const char kUsage[] = "Usage: mx7300-catalogue\n"
                      "Prints the console's three command lists, each headed by \"# Combo1\",\n"
                      "\"# Combo2\" or \"# Combo3\", one entry per line as a JSON string, so\n"
                      "that tabs, CR LF and trailing spaces stay visible.\n"
                      "\n"
                      "Options:\n"
                      "  -h, --help  Displays this help.\n";

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0;
        std::fputs(kUsage, help ? stdout : stderr);
        return help && argc == 2 ? 0 : 2;
    }
#ifdef _WIN32
    // The same bytes on every system: Windows' text mode would end each line with CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    printList(List::Combo1, "Combo1");
    printList(List::Combo2, "Combo2");
    printList(List::Combo3, "Combo3");
    return std::fflush(stdout) == 0 ? 0 : 1;
}
