#pragma once

#include "Form1Layout.h"
#include "Form2Layout.h"
#include "Form3Layout.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace tavo::test {

inline const std::vector<LayoutRow>& layoutNamed(const QString& form) {
    if (form == QLatin1String("Form1"))
        return form1Layout();
    if (form == QLatin1String("Form2"))
        return form2Layout();
    return form3Layout();
}

inline const LayoutRow* rowNamed(const std::vector<LayoutRow>& rows, const QString& name) {
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const LayoutRow& row) {
        return name == QLatin1String(row.name);
    });
    return it == rows.end() ? nullptr : &*it;
}

inline bool takesFocus(Kind kind) {
    return kind != Kind::Frame && kind != Kind::Label;
}

// Names of the controls that can take the focus, in TabIndex order.
inline QStringList focusableInTabOrder(const std::vector<LayoutRow>& rows) {
    std::vector<const LayoutRow*> focusable;
    for (const LayoutRow& row : rows) {
        if (takesFocus(row.kind))
            focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const LayoutRow* a, const LayoutRow* b) { return a->tabIndex < b->tabIndex; });
    QStringList names;
    for (const LayoutRow* row : focusable)
        names << QLatin1String(row->name);
    return names;
}

} // namespace tavo::test
