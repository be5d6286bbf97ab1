#include "Transcript.h"

namespace tavo {

QString renderTranscript(const QByteArray& bytes, LegendsMet* met) {
    QString out;
    out.reserve(1 + bytes.size() * 3);
    out += QLatin1Char(' ');
    LegendsMet seen;
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        switch (code) {
        case 6:
            out += QLatin1String(" [ACK] ");
            seen.ack = true;
            break;
        case 13:
            out += QLatin1String(" [CR] ");
            seen.cr = true;
            break;
        case 10:
            out += QLatin1String(" [LF]  ");
            break;
        case 32:
            out += QLatin1String("_ ");
            seen.space = true;
            break;
        default:
            if (code >= 33 && code <= 122) {
                out += QLatin1Char(c);
                out += QLatin1Char(' ');
            } else {
                out += QLatin1String("? ");
            }
        }
    }
    if (met)
        *met = seen;
    return out;
}

} // namespace tavo
