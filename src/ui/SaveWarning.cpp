#include "SaveWarning.h"

#include <QMessageBox>

namespace tavo {

void presentSaveWarning(QWidget* parent, const QString& file, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Settings not saved"),
                    QStringLiteral("The settings could not be saved in %1: %2.\n"
                                   "They apply until the program ends.")
                        .arg(file, reason),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace tavo
