#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tavo {

// Shows that the settings could not be stored: a modal warning box naming the
// file and the system's reason, one OK button.
void presentSaveWarning(QWidget* parent, const QString& file, const QString& reason);

// The windows call this; tests and the signal path replace it.
using SaveWarningPresenter =
    std::function<void(QWidget* parent, const QString& file, const QString& reason)>;

} // namespace tavo
