// Prints one line per control of the main window, "name left top width height", in pixels at
// 96 dpi relative to the window's client area. A control inside a frame gets the frame's offset
// added, each converted on its own exactly as the window builder places the widgets.
#include "Form1Layout.h"
#include "FormBuilder.h"

#include <QByteArray>
#include <QHash>

#include <cstdio>

namespace {

constexpr double kDpi = 96.0;

using tavo::LayoutRow;

int px(int twips) {
    return tavo::twipsToPixels(twips, kDpi);
}

} // namespace

int main() {
    const std::vector<LayoutRow>& rows = tavo::form1Layout();
    QHash<QByteArray, const LayoutRow*> byName;
    for (const LayoutRow& row : rows)
        byName.insert(QByteArray(row.name), &row);

    QByteArray text;
    for (const LayoutRow& row : rows) {
        int left = px(row.left);
        int top = px(row.top);
        // Walk up the containers; a frame missing from the table is a broken table.
        for (const char* parent = row.parent; parent;) {
            const LayoutRow* container = byName.value(QByteArray(parent));
            if (!container) {
                std::fprintf(stderr, "mx7300-layout: %s lies in unknown frame %s\n", row.name,
                             parent);
                return 1;
            }
            left += px(container->left);
            top += px(container->top);
            parent = container->parent;
        }
        text += QByteArray(row.name) + ' ' + QByteArray::number(left) + ' ' +
                QByteArray::number(top) + ' ' + QByteArray::number(px(row.width)) + ' ' +
                QByteArray::number(px(row.height)) + '\n';
    }
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
