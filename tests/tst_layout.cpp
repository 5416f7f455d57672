// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "FormFixture.h"
#include "GuiTestMain.h"
#include "TApplication.h"
#include "TGauge.h"
#include "TReportLog.h"
#include "TScreenPlacement.h"
#include "TVerifier.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

// The system colours the window is drawn in.
QColor BtnFace() {
    return QApplication::palette().color(QPalette::Button);
}
QColor WindowText() {
    return QApplication::palette().color(QPalette::WindowText);
}
QColor WindowColour() { // the background of list boxes
    return QApplication::palette().color(QPalette::Base);
}

const QColor White(255, 255, 255);
const QColor Black(0, 0, 0);
const QColor Navy(0, 0, 128);
const QColor Silver(192, 192, 192);
const QColor Maroon(128, 0, 0);
const QColor ScrollBar(200, 200, 200); // clScrollBar
const QColor Background(58, 110, 165); // clBackground, the desktop's colour

// The faces the window asks for, as this system draws them.
const QString Sans = QStringLiteral("Liberation Sans");   // for "MS Sans Serif"
const QString Serif = QStringLiteral("Liberation Serif"); // for "Times New Roman"

bool Near(const QPoint& a, const QPoint& b) {
    return std::abs(a.x() - b.x()) <= 1 && std::abs(a.y() - b.y()) <= 1;
}

} // namespace

class TestLayout : public QObject, FormFixture {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void tabOrder_data();
    void tabOrder();
    void rowHeights_data();
    void rowHeights();
    void centredPosition_data();
    void centredPosition();
    void windowCentred();
    void closingBoxCentred_data();
    void closingBoxCentred();
    void buttonEdges_data();
    void buttonEdges();

private:
    // Puts the page that holds a control on show.
    void ShowPageOf(const QWidget* control) {
        auto* pages = Child<QTabWidget>(QStringLiteral("PageControl"));
        for (int index = 0; index < pages->count(); ++index) {
            if (pages->widget(index)->isAncestorOf(control) || pages->widget(index) == control) {
                pages->setCurrentIndex(index);
            }
        }
    }
};

void TestLayout::init() {
    MakeForm();
    ShowAndActivate();
}

void TestLayout::cleanup() {
    DropForm();
}

void TestLayout::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessible"); // what assistive technology reads
    QTest::addColumn<QString>("family");     // not checked when empty
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QColor>("fore");  // text, or a gauge's bar
    QTest::addColumn<QPoint>("probe"); // a bare spot of the control, where its background shows
    QTest::addColumn<QColor>("back");  // not checked when invalid

    const QColor none;
    const auto row = [](const char* name, const char* accessible, QString family, int pixelSize,
                        QColor fore, QPoint probe, QColor back) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(accessible)
                            << family << pixelSize << fore << probe << back;
    };
    // The window and its banner strip.
    row("MainForm", "", Sans, 11, WindowText(), {10, 540}, BtnFace());
    row("Image2", "", Sans, 11, WindowText(), {10, 37}, BtnFace());

    // Bench Test.
    row("Panel1", "", Sans, 11, WindowText(), {5, 5}, BtnFace());
    row("Sp1Button", "Benchmark Multithread Testing", Sans, 11, WindowText(), {}, none);
    row("Label1", "", Serif, 13, Navy, {2, 2}, White);
    row("outPutMemo", "Benchmark console", Sans, 7, Silver, {3, 3}, Black);
    row("BenchTestGauge", "Benchmark progress", Sans, 11, Maroon, {900, 10}, ScrollBar);

    // Stress Test. Label5 is drawn over the top of "Begin Stress Test" in the panel's colour.
    row("Panel4", "", Sans, 11, WindowText(), {5, 60}, BtnFace());
    row("Label5", "", Serif, 16, Navy, {400, 15}, BtnFace());
    row("Sp4Button", "Begin Stress Test", Sans, 11, WindowText(), {}, none);
    row("Label4", "", Serif, 13, Navy, {2, 2}, White);
    row("timerComboBox", "Stress test duration", Serif, 16, Navy, {}, none);
    row("Panel5", "", Sans, 11, WindowText(), {5, 5}, BtnFace());
    row("outputStressTest", "Stress test console", Sans, 7, Silver, {3, 3}, Black);
    row("testGauge", "Stress test progress", Sans, 11, Background, {3, 3}, ScrollBar);

    // Reports.
    row("Panel6", "", Sans, 11, WindowText(), {5, 5}, BtnFace());
    row("SpClearButton", "Clear reports", Sans, 11, WindowText(), {}, none);
    row("ListBoxReport", "Report log", Sans, 11, WindowText(), {3, 3}, WindowColour());

    // Monitor.
    row("MonitorProcessors", "Processors", Sans, 11, WindowText(), {}, none);
    row("MonitorWorkload", "Stress test workload", Sans, 11, WindowText(), {}, none);
    row("MonitorWorkers", "Stress test workers", Sans, 11, WindowText(), {}, none);
    row("MonitorSelfTestButton", "Self-test", Sans, 11, WindowText(), {}, none);
    row("MonitorSelfTestOutput", "Self-test output", "", 9, WindowText(), {}, none);
}

// Each control as the user sees it, on its page: its name, its font and its colours.
void TestLayout::controls() {
    QFETCH(QString, name);
    QFETCH(QString, accessible);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(QColor, fore);
    QFETCH(QPoint, probe);
    QFETCH(QColor, back);

    QWidget* control = Child(name);
    ShowPageOf(control);
    QVERIFY(control->isVisible());
    if (!accessible.isEmpty()) {
        // A box's Name is its current choice: what it is for is its description.
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(control);
        QCOMPARE(node->text(node->role() == QAccessible::ComboBox ? QAccessible::Description
                                                                  : QAccessible::Name),
                 accessible);
    }
    const QFontInfo font(control->font());
    if (!family.isEmpty()) {
        QCOMPARE(font.family(), family);
    }
    QCOMPARE(font.pixelSize(), pixelSize);
    if (auto* gauge = qobject_cast<TGauge*>(control)) {
        QCOMPARE(gauge->foreColor(), fore);
    } else {
        QCOMPARE(control->palette().color(control->foregroundRole()), fore);
    }
    if (back.isValid()) {
        const QImage shot = form->grab().toImage();
        QCOMPARE(QColor(shot.pixel(control->mapTo(form.get(), probe))), back);
    }
}

void TestLayout::tabOrder_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("Bench Test") << "Tab01" << QStringList{"outPutMemo"};
    QTest::newRow("Stress Test") << "Tab02" << QStringList{"outputStressTest", "timerComboBox"};
    QTest::newRow("Reports") << "Tab03" << QStringList{"ListBoxReport"};
    QTest::newRow("Monitor") << "Tab04"
                             << QStringList{"MonitorProcessors",    "MonitorOpenButton",
                                            "MonitorSaveButton",    "MonitorWorkload",
                                            "MonitorWorkers",       "MonitorSelfTestButton",
                                            "MonitorSelfTestOutput"};
}

// The order in which the Tab key visits the controls of a page.
void TestLayout::tabOrder() {
    QFETCH(QString, page);
    QFETCH(QStringList, order);
    const QWidget* sheet = Child(page);
    QStringList visited;
    QWidget* widget = form.get();
    for (int step = 0; step < 1000; ++step) {
        widget = widget->nextInFocusChain();
        if (widget == form.get()) {
            break;
        }
        if ((widget->focusPolicy() & Qt::TabFocus) && sheet->isAncestorOf(widget)) {
            visited << widget->objectName();
        }
    }
    QCOMPARE(widget, form.get()); // one chain through the whole window
    QCOMPARE(visited, order);
}

void TestLayout::rowHeights_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("height");
    QTest::newRow("duration box's drop-down") << "timerComboBox" << 19;
    QTest::newRow("report list") << "ListBoxReport" << 13;
}

void TestLayout::rowHeights() {
    QFETCH(QString, name);
    QFETCH(int, height);
    QWidget* control = Child(name);
    ShowPageOf(control);
    QAbstractItemView* view = nullptr;
    if (auto* box = qobject_cast<QComboBox*>(control)) {
        box->showPopup();
        view = box->view();
    } else {
        form->ReportLog().AddLine("12/7/2026 3:05:09 PM     Benchmark Test Score : 4702");
        form->ReportLog().AddLine("12/7/2026 4:27:31 PM     Benchmark Test Score : 4688");
        view = qobject_cast<QAbstractItemView*>(control);
    }
    QVERIFY(view && view->isVisible());
    const QAbstractItemModel* model = view->model();
    QVERIFY(model->rowCount() > 1);
    for (int row = 0; row < model->rowCount(); ++row) {
        const QRect rect = view->visualRect(model->index(row, 0));
        QCOMPARE(rect.height(), height);
        QCOMPARE(rect.top(), view->visualRect(model->index(0, 0)).top() + row * height);
    }
    if (auto* box = qobject_cast<QComboBox*>(control)) {
        box->hidePopup();
    }
}

void TestLayout::centredPosition_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available"); // the screen less its panels
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QPoint>("position");
    const QRect sxga(0, 0, 1280, 1024);
    QTest::newRow("1280x1024, frame of 926x597")
        << sxga << sxga << QSize(926, 597) << QPoint(177, 213);
    QTest::newRow("1280x1024, no frame") << sxga << sxga << QSize(924, 576) << QPoint(178, 224);
    QTest::newRow("second screen right of the first")
        << QRect(1280, 0, 1920, 1080) << QRect(1280, 0, 1920, 1080) << QSize(926, 597)
        << QPoint(1777, 241);
    QTest::newRow("screen above the first")
        << QRect(0, -768, 1024, 768) << QRect(0, -768, 1024, 768) << QSize(926, 597)
        << QPoint(49, -683);
    QTest::newRow("panels do not move a frame that fits: centred on the whole screen")
        << sxga << QRect(48, 32, 1232, 992) << QSize(926, 597) << QPoint(177, 213);
    QTest::newRow("frame wider than the screen: left edge on it, truncated half down")
        << QRect(0, 0, 799, 600) << QRect(0, 0, 799, 600) << QSize(926, 597) << QPoint(0, 1);
    QTest::newRow("scale 2 on 1280x1024 (640x512): title bar on the screen")
        << QRect(0, 0, 640, 512) << QRect(0, 0, 640, 512) << QSize(926, 597) << QPoint(0, 0);
    QTest::newRow("scale 2, panel at the top: title bar below it")
        << QRect(0, 0, 640, 512) << QRect(0, 14, 640, 498) << QSize(926, 597) << QPoint(0, 14);
    QTest::newRow("too tall only: centred across, top edge on the screen")
        << QRect(0, 0, 1280, 550) << QRect(0, 0, 1280, 550) << QSize(926, 597) << QPoint(177, 0);
    QTest::newRow("too big for a screen above and left of the first")
        << QRect(-800, -600, 800, 600) << QRect(-800, -570, 800, 570) << QSize(926, 597)
        << QPoint(-800, -570);
}

// Where the window's frame goes to be centred on a screen.
void TestLayout::centredPosition() {
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QSize, frame);
    QFETCH(QPoint, position);
    QCOMPARE(CentredPosition(screen, available, frame), position);
}

// The window's frame, not only its client area, is centred on the screen when first shown.
void TestLayout::windowCentred() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = form->frameGeometry();
    QVERIFY2(frame.size() != form->size(), "the test platform draws no frame");
    QVERIFY2(Near(frame.center(), screen.center()),
             qPrintable(QStringLiteral("frame centred at %1,%2, screen at %3,%4")
                            .arg(frame.center().x())
                            .arg(frame.center().y())
                            .arg(screen.center().x())
                            .arg(screen.center().y())));
}

void TestLayout::closingBoxCentred_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QString>("text");
    QTest::newRow("benchmark completed") << false << false << "Benchmark Test Completed";
    QTest::newRow("stress test failed") << true << true << "Stress Test Failed";
}

// A run's closing box is centred on the screen, wherever the user has moved the window.
void TestLayout::closingBoxCentred() {
    QFETCH(bool, stress);
    QFETCH(bool, fails);
    QFETCH(QString, text);
    if (fails) {
        // A worker off the known path stands in for a processor that computes wrongly.
        workers.prepare = [](TFakeWorker& worker, int slot) {
            worker.Settle();
            worker.candidate = slot == 3 ? TVerifier::KnownPrime - 2 : worker.candidate;
        };
    }
    form->move(0, 0);
    QTRY_COMPARE(form->frameGeometry().topLeft(), QPoint(0, 0));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(!Near(form->frameGeometry().center(), screen.center()));

    stress ? form->Sp4ButtonClick() : form->Sp1ButtonClick();
    QRect boxFrame;
    QString shown;
    // The box is read once it is exposed and centred, frame included: the window system frames
    // and places it a moment after it shows. (Never centred: read after ten seconds, and wrong.)
    BoxWatcher watcher(
        [&] {
            QWidget* box = QApplication::activeModalWidget();
            boxFrame = box->frameGeometry();
            shown = qobject_cast<QMessageBox*>(box)->text();
        },
        [&] {
            const QWidget* box = QApplication::activeModalWidget();
            return box->windowHandle() && box->windowHandle()->isExposed() &&
                   Near(box->frameGeometry().center(), screen.center());
        });
    const int ticks = fails ? 2 : TTestPlan::BenchmarkTicks;
    for (int tick = 0; tick < ticks; ++tick) {
        clock.Tick(form->findChild<QTimer*>(stress ? "StressTestTimer" : "BenchmarkTimer"));
    }
    QCOMPARE(shown, text);
    QVERIFY2(Near(boxFrame.center(), screen.center()),
             qPrintable(QStringLiteral("box centred at %1,%2, screen at %3,%4")
                            .arg(boxFrame.center().x())
                            .arg(boxFrame.center().y())
                            .arg(screen.center().x())
                            .arg(screen.center().y())));
}

void TestLayout::buttonEdges_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("shown"); // the part of the button not covered, in its coordinates
    QTest::addColumn<QString>("edge");
    const std::pair<const char*, QRect> buttons[] = {
        {"Sp1Button", {0, 0, 281, 41}},
        {"Sp4Button", {0, 9, 281, 32}}, // under Label5 down to the panel's 20th row
        {"SpClearButton", {0, 0, 153, 33}}};
    for (const auto& [name, shown] : buttons) {
        for (const char* edge : {"left", "right", "top", "bottom"}) {
            QTest::addRow("%s, %s edge", name, edge)
                << QString::fromLatin1(name) << shown << QString::fromLatin1(edge);
        }
    }
}

// What looks like a button is the button: a click just inside each edge of its visible part
// acts, on the window as the user clicks it.
void TestLayout::buttonEdges() {
    QFETCH(QString, name);
    QFETCH(QRect, shown);
    QFETCH(QString, edge);
    auto* button = Child<QPushButton>(name);
    ShowPageOf(button);
    QCOMPARE(button->visibleRegion().boundingRect(), shown);

    const QPoint centre = shown.center();
    const QPoint at = edge == QLatin1String("left")    ? QPoint(shown.left() + 1, centre.y())
                      : edge == QLatin1String("right") ? QPoint(shown.right() - 1, centre.y())
                      : edge == QLatin1String("top")   ? QPoint(centre.x(), shown.top() + 1)
                                                       : QPoint(centre.x(), shown.bottom() - 1);
    const QPoint inWindow = button->mapTo(form.get(), at);
    QCOMPARE(form->childAt(inWindow), button);

    form->ReportLog().AddLine("a line to clear");
    auto* benchmark = Child<QTimer>(QStringLiteral("BenchmarkTimer"));
    auto* stress = Child<QTimer>(QStringLiteral("StressTestTimer"));
    QVERIFY(!benchmark->isActive() && !stress->isActive());
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, inWindow);
    QCOMPARE(benchmark->isActive(), name == QLatin1String("Sp1Button"));
    QCOMPARE(stress->isActive(), name == QLatin1String("Sp4Button"));
    QCOMPARE(form->ReportLog().Count(), name == QLatin1String("SpClearButton") ? 0 : 1);
}

MORVEL_GUI_TEST_MAIN(TestLayout)

#include "tst_layout.moc"
