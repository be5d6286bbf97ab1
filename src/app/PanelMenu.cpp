#include "PanelMenu.h"

#include "panel/Form1Window.h"

#include <QMenu>
#include <QRadioButton>

namespace tavo {

void installPanelMenu(Form1Window& form1, std::function<void()> openLog) {
    form1.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        &form1, &QWidget::customContextMenuRequested, &form1,
        [&form1, openLog = std::move(openLog)](const QPoint& at) {
            // Any mouse button starts an arrow's repeat; the menu would take its release.
            if (form1.link().state.HoldActive != 0)
                return;
            QMenu menu(&form1);
            menu.setToolTipsVisible(true);
            menu.addAction(QStringLiteral("Port dialog"), &form1,
                           [&form1] { form1.panel().Command33_Click(); });
            menu.addAction(QStringLiteral("Command Table"), &form1,
                           [&form1] { form1.panel().Command74_Click(); });
            // The key itself is a shortcut of the window; the menu only names it.
            QAction* log = menu.addAction(QStringLiteral("Traffic Log\tCtrl+L"), &form1, openLog);
            log->setToolTip(QStringLiteral("Every command and reply with its time; Ctrl+L "
                                           "opens it from any window"));
            menu.exec(form1.mapToGlobal(at));
        });
}

void watchAddressOptions(Form1Window& form1, std::function<void()> changed) {
    for (int option = 1; option <= 6; ++option) {
        auto* button =
            form1.controls().widget<QRadioButton>(QStringLiteral("Option%1").arg(option));
        if (button)
            QObject::connect(button, &QRadioButton::toggled, &form1, changed);
    }
}

} // namespace tavo
