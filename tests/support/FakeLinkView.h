#pragma once

#include "link/LinkView.h"

#include <QPoint>
#include <QStringList>

#include <functional>

namespace tavo::test {

// Records what the link shows. The screen is 1920 × 1080 pixels at 96 DPI.
class FakeLinkView : public LinkView {
public:
    void setLineText(Line line, const QString& text) override { lines[int(line)] = text; }
    void setLegendVisible(Legend legend, bool visible) override { legends[int(legend)] = visible; }
    void setWindowHeightTwips(int height) override { windowSize.setHeight(height); }
    int windowHeightTwips() const override { return windowSize.height(); }
    QSize windowSizeTwips() const override { return windowSize; }
    QSize screenSizeTwips() const override { return screenSize; }
    void moveWindowTwips(int left, int top) override { position = QPoint(left, top); }
    void showAddressOption(int option) override { addressOption = option; }
    void showPortDialogModal() override {
        ++modalDialogs;
        if (onModalDialog)
            onModalDialog();
    }

    void showSaveWarning(const QString& file, const QString& reason) override {
        saveWarnings << file + QStringLiteral(": ") + reason;
    }

    QString line(Line l) const { return lines[int(l)]; }
    bool legend(Legend l) const { return legends[int(l)]; }

    QString lines[3];
    bool legends[3] = {false, false, false};
    QSize windowSize{10275, 8100};
    QSize screenSize{28800, 16200};
    QPoint position{2040, 630};
    int addressOption = 1;
    int modalDialogs = 0;
    QStringList saveWarnings;
    std::function<void()> onModalDialog;
};

} // namespace tavo::test
