// The arrow bitmaps, row by row, and the window icon.
#include "AppIcon.h"
#include "ArrowPicture.h"

#include <QTest>

using namespace tavo;

Q_DECLARE_METATYPE(tavo::Picture)

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kYellow = qRgb(255, 255, 0);

} // namespace

class PicturesTest : public QObject {
    Q_OBJECT

private slots:
    // Per row: where the black run starts and how long it is; every other
    // pixel is pure yellow.
    void arrowRows_data() {
        QTest::addColumn<Picture>("picture");
        QTest::addColumn<QList<int>>("firstBlack");
        QTest::addColumn<QList<int>>("blackCount");
        QTest::newRow("up") << Picture::ArrowUp << QList<int>{8, 7, 6, 5, 4, 3, 2, 1, 0}
                            << QList<int>{1, 3, 5, 7, 9, 11, 13, 15, 17};
        QTest::newRow("down") << Picture::ArrowDown << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}
                              << QList<int>{17, 15, 13, 11, 9, 7, 5, 3, 1};
        QTest::newRow("right") << Picture::ArrowRight << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0}
                               << QList<int>{5, 9, 12, 15, 17, 15, 12, 9, 5};
        QTest::newRow("left") << Picture::ArrowLeft << QList<int>{12, 8, 5, 2, 0, 2, 5, 8, 12}
                              << QList<int>{5, 9, 12, 15, 17, 15, 12, 9, 5};
    }
    void arrowRows() {
        QFETCH(Picture, picture);
        QFETCH(QList<int>, firstBlack);
        QFETCH(QList<int>, blackCount);
        const QImage image = arrowPicture(picture);
        QCOMPARE(image.size(), QSize(17, 9));
        for (int row = 0; row < image.height(); ++row) {
            int first = -1;
            int count = 0;
            for (int column = 0; column < image.width(); ++column) {
                const QRgb pixel = image.pixel(column, row) | 0xFF000000u;
                QVERIFY2(pixel == kBlack || pixel == kYellow, qPrintable(QString::number(row)));
                if (pixel != kBlack)
                    continue;
                if (first < 0)
                    first = column;
                QVERIFY2(column == first + count, "black run has a gap");
                ++count;
            }
            QCOMPARE(first, firstBlack[row]);
            QCOMPARE(count, blackCount[row]);
        }
    }

    void noPictureIsNull() { QVERIFY(arrowPicture(Picture::None).isNull()); }

    void iconIs32SquareAndDrawn() {
        const QIcon icon = appIcon();
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        const QImage image = icon.pixmap(32, 32).toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255;
        }
        // The body, lens and beam cover a good part of the square, not all of it.
        QVERIFY2(opaque > 150 && opaque < 32 * 32 - 100, qPrintable(QString::number(opaque)));
    }
};

QTEST_MAIN(PicturesTest)
#include "tst_pictures.moc"
