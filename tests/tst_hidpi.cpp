// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The window on a screen with a device pixel ratio above 1. ctest runs this program with
// QT_SCALE_FACTOR=2 and again with QT_SCALE_FACTOR=1: the window covers its size times the
// ratio in device pixels, and the banner and the icon are pictures drawn for that ratio,
// shown pixel for pixel, not a smaller picture stretched. The screen is 1280 x 1024: at ratio 2
// (640 x 512) the window does not fit on it, and is placed with its title bar on the screen.

#include "GuiTestMain.h"
#include "MainUnit.h"
#include "TApplication.h"

#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace {

// The ratio the test was started for.
qreal ScaleFactor() {
    return qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
}

// The banner picture drawn for RATIO: 750 x 75 device-independent pixels at that ratio.
QImage BannerFor(qreal ratio) {
    return QImage(ratio > 1.0 ? QStringLiteral(":/banner@2x.jpg") : QStringLiteral(":/banner.jpg"))
        .convertToFormat(QImage::Format_RGB32);
}

QSize Times(QSize size, qreal ratio) {
    return (QSizeF(size) * ratio).toSize();
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void screenRatio();
    void windowSize();
    void pictures_data();
    void pictures();
    void bannerPixels_data();
    void bannerPixels();
    void placedOnScreen();

private:
    std::unique_ptr<TMainForm> form;
};

void TestHiDpi::init() {
    form = std::make_unique<TMainForm>();
}

void TestHiDpi::cleanup() {
    form.reset();
}

// Everything below relies on the scale factor having reached the screen.
void TestHiDpi::screenRatio() {
    QVERIFY(qEnvironmentVariableIsSet("QT_SCALE_FACTOR"));
    QCOMPARE(qApp->devicePixelRatio(), ScaleFactor());
    QCOMPARE(form->devicePixelRatio(), ScaleFactor());
}

void TestHiDpi::windowSize() {
    QCOMPARE(form->size(), QSize(924, 576));
    QCOMPARE(form->grab().size(), Times(QSize(924, 576), ScaleFactor()));
}

void TestHiDpi::pictures_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QSize>("size"); // in device-independent pixels
    QTest::newRow("banner") << QStringLiteral("banner") << QSize(750, 75);
    QTest::newRow("window icon") << QStringLiteral("icon") << QSize(32, 32);
}

void TestHiDpi::pictures() {
    QFETCH(QString, picture);
    QFETCH(QSize, size);
    const qreal ratio = ScaleFactor();
    const QPixmap pixmap = picture == QLatin1String("banner")
                               ? form->findChild<QLabel*>(QStringLiteral("Image2"))->pixmap()
                               : form->windowIcon().pixmap(size, ratio);
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), size);
    QCOMPARE(pixmap.size(), Times(size, ratio));
}

void TestHiDpi::bannerPixels_data() {
    QTest::addColumn<QPoint>("at"); // in the banner's device-independent pixels
    QTest::newRow("top left") << QPoint(0, 0);
    QTest::newRow("top right") << QPoint(749, 0);
    QTest::newRow("bottom left") << QPoint(0, 74);
    QTest::newRow("bottom right") << QPoint(749, 74);
    QTest::newRow("in the name") << QPoint(60, 30);
    QTest::newRow("on the pulse") << QPoint(485, 18);
}

// The banner on the window is the picture drawn for the ratio, device pixel for device pixel:
// each of the 2 x 2 device pixels of a banner pixel at ratio 2 is its own.
void TestHiDpi::bannerPixels() {
    QFETCH(QPoint, at);
    const qreal ratio = ScaleFactor();
    const QImage banner = BannerFor(ratio);
    QCOMPARE(banner.size(), Times(QSize(750, 75), ratio));
    const QImage shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The banner lies 87 pixels from the left of its strip, at its top.
    const QPoint origin =
        form->findChild<QWidget*>(QStringLiteral("Image2"))->geometry().topLeft() + QPoint(87, 0);
    const int step = qRound(ratio);
    for (int dy = 0; dy < step; ++dy) {
        for (int dx = 0; dx < step; ++dx) {
            const QPoint device = (origin + at) * step + QPoint(dx, dy);
            QCOMPARE(QColor(shot.pixel(device)), QColor(banner.pixel(at * step + QPoint(dx, dy))));
        }
    }
}

// Along each side the frame fits on the screen it is centred (within a pixel); where it is
// larger, it starts where the screen's available area starts, so its title bar can be grabbed.
void TestHiDpi::placedOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect whole = screen->geometry();
    const QRect available = screen->availableGeometry();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const auto placed = [&](int start, int extent, int screenStart, int screenExtent,
                            int availableStart) {
        return extent > screenExtent
                   ? start == availableStart
                   : std::abs(2 * start + extent - (2 * screenStart + screenExtent)) <= 2;
    };
    const auto report = [&] {
        const QRect frame = form->frameGeometry();
        return QStringLiteral("frame %1x%2 at %3,%4 on a screen of %5x%6")
            .arg(frame.width())
            .arg(frame.height())
            .arg(frame.x())
            .arg(frame.y())
            .arg(whole.width())
            .arg(whole.height());
    };
    QTRY_VERIFY2(placed(form->frameGeometry().x(), form->frameGeometry().width(), whole.x(),
                        whole.width(), available.x()) &&
                     placed(form->frameGeometry().y(), form->frameGeometry().height(), whole.y(),
                            whole.height(), available.y()),
                 qPrintable(report()));
    QVERIFY(form->frameGeometry().size() != form->size()); // the frame, not only the client area
    if (ScaleFactor() > 1.0) {
        QVERIFY2(form->frameGeometry().width() > whole.width(), qPrintable(report()));
    }
}

MORVEL_GUI_TEST_MAIN(TestHiDpi)

#include "tst_hidpi.moc"
