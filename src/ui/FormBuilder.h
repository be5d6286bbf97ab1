#pragma once

#include "ui/LayoutRow.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

namespace tavo {

// 1440 twips to the inch: 15 twips are one pixel at 96 dpi.
int twipsToPixels(int twips, double dpi);

// The client area of `design` in pixels; a height of 0 stays 0.
QSize clientSizeInPixels(const WindowDesign& design, double dpi);

// &H00BBGGRR& to a colour; system colours map to the platform's nearest role.
// kDefaultColour (and unknown system colours) give an invalid QColor.
QColor designColour(quint32 code);

// The controls' Japanese sans-serif face, with fallbacks for systems without it.
QFont designFont(double points, bool bold);

// Caption, icon, font and colours of a window (not its size: windows size
// themselves, some of them at run time).
void applyWindowDesign(QWidget* window, const WindowDesign& design);

// The widgets of a built window, by control name.
class BuiltForm {
public:
    void add(const QString& name, QWidget* widget) { widgets_.insert(name, widget); }

    // nullptr when there is no such control, or it is not a T.
    template <class T = QWidget> T* widget(const QString& name) const {
        return qobject_cast<T*>(widgets_.value(name));
    }

    const QHash<QString, QWidget*>& all() const { return widgets_; }

private:
    QHash<QString, QWidget*> widgets_;
};

// Creates the controls of `rows` in `client` (the window's client area) at
// their design geometry for `dpi`, with their captions, colours, fonts,
// pictures, visibility, selection and tab order. A frame's row must come
// before the rows of its controls. Controls without a font take client's font.
// Command buttons are EarlyClickButtons.
BuiltForm buildForm(QWidget* client, const std::vector<LayoutRow>& rows, double dpi);

// As above at the screen's logical dpi.
BuiltForm buildForm(QWidget* client, const std::vector<LayoutRow>& rows);

} // namespace tavo
