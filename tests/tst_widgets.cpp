// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "BoxWatcher.h"
#include "GuiTestMain.h"
#include "TApplication.h"
#include "TGauge.h"

#include <QFile>
#include <QImageReader>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace {

// Counts the times the gauge paints itself.
class CountingGauge : public TGauge {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        TGauge::paintEvent(event);
    }
};

// An object whose event handler fails with a set message.
class Failing : public QObject {
public:
    QString message;
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw std::runtime_error(message.toStdString());
        }
        return QObject::event(event);
    }
};

// Counts the requests to close it.
class ClosingWidget : public QWidget {
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        QWidget::closeEvent(event);
    }
};

TApplication& Application() {
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

// Stop signals close `window` the way the user does.
void CloseOnStopSignals(TApplication& application, QWidget* window) {
    application.OnStopSignal([target = QPointer<QWidget>(window)](int) {
        if (target) {
            target->close();
        }
    });
}

// Calls CloseOnStopSignals while no file descriptor is free; false when the limit could not be
// set. The undefined-behaviour sanitizer's type check on the call needs descriptors of its own
// and would report a false error, so it is left out here.
__attribute__((no_sanitize("vptr"))) bool
CloseOnStopSignalsWithoutDescriptors(TApplication& application, QWidget* window) {
    const int lowestFree = ::dup(STDIN_FILENO);
    ::close(lowestFree);
    rlimit saved{};
    if (lowestFree < 0 || ::getrlimit(RLIMIT_NOFILE, &saved) != 0) {
        return false;
    }
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    if (::setrlimit(RLIMIT_NOFILE, &none) != 0) {
        return false;
    }
    CloseOnStopSignals(application, window);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    return true;
}

QColor Inverted(const QColor& color) {
    return QColor(255 - color.red(), 255 - color.green(), 255 - color.blue());
}

} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void gaugeClamps_data();
    void gaugeClamps();
    void gaugeRepaintsOnlyOnChange_data();
    void gaugeRepaintsOnlyOnChange();
    void gaugeDrawing_data();
    void gaugeDrawing();
    void gaugeTextInverts();

    void applicationTitle_data();
    void applicationTitle();
    void errorBox_data();
    void errorBox();

    // Before stopSignalCloses, which sets the signals up for the rest of the run.
    void stopSignalsWithoutSocket();
    void stopSignalCloses_data();
    void stopSignalCloses();

private:
    ClosingWidget stopTarget; // the window the stop signals close
};

void TestWidgets::gaugeClamps_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("shown");
    QTest::newRow("below 0") << -5 << 0;
    QTest::newRow("far below 0") << std::numeric_limits<int>::min() << 0;
    QTest::newRow("42") << 42 << 42;
    QTest::newRow("100") << 100 << 100;
    QTest::newRow("125 (a stress run cut short)") << 125 << 100;
    QTest::newRow("far above 100") << std::numeric_limits<int>::max() << 100;
}

void TestWidgets::gaugeClamps() {
    QFETCH(int, set);
    QFETCH(int, shown);
    TGauge gauge;
    gauge.setProgress(17);
    gauge.setProgress(set);
    QCOMPARE(gauge.progress(), shown);
}

void TestWidgets::gaugeRepaintsOnlyOnChange_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("repaints");
    QTest::newRow("same value") << 40 << 40 << false;
    QTest::newRow("next percent") << 40 << 41 << true;
    QTest::newRow("above 100 when at 100") << 100 << 150 << false;
    QTest::newRow("below 0 when at 0") << 0 << -3 << false;
}

void TestWidgets::gaugeRepaintsOnlyOnChange() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, repaints);

    CountingGauge gauge;
    gauge.resize(200, 16);
    gauge.setProgress(from);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    QTRY_VERIFY(gauge.paints > 0);
    QTest::qWait(50);
    gauge.paints = 0;

    gauge.setProgress(to);
    if (repaints) {
        QTRY_VERIFY(gauge.paints > 0);
    } else {
        QTest::qWait(100);
        QCOMPARE(gauge.paints, 0);
    }
}

void TestWidgets::gaugeDrawing_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("bar"); // pixels of bar inside the frame
    QTest::newRow("empty") << 102 << 0 << 0;
    QTest::newRow("half of 100") << 102 << 50 << 50;
    QTest::newRow("full") << 102 << 100 << 100;
    QTest::newRow("truncated: 33% of 914") << 916 << 33 << 301;
    QTest::newRow("truncated: 1% of 50") << 52 << 1 << 0;
}

void TestWidgets::gaugeDrawing() {
    QFETCH(int, width);
    QFETCH(int, progress);
    QFETCH(int, bar);

    const QColor back(200, 200, 200);
    const QColor fore(128, 0, 0);
    TGauge gauge;
    gauge.setBackColor(back);
    gauge.setForeColor(fore);
    gauge.resize(width, 10);
    gauge.setProgress(progress);
    const QImage shot = gauge.grab().toImage();

    const int mid = 5;
    QCOMPARE(QColor(shot.pixel(0, 0)), QColor(Qt::black));
    QCOMPARE(QColor(shot.pixel(width - 1, 9)), QColor(Qt::black));
    QCOMPARE(QColor(shot.pixel(0, mid)), QColor(Qt::black));
    QCOMPARE(QColor(shot.pixel(width - 1, mid)), QColor(Qt::black));
    if (bar > 0) {
        QCOMPARE(QColor(shot.pixel(1, mid)), fore);
        QCOMPARE(QColor(shot.pixel(bar, mid)), fore);
    }
    if (bar < width - 2) {
        QCOMPARE(QColor(shot.pixel(bar + 1, mid)), back);
        QCOMPARE(QColor(shot.pixel(width - 2, mid)), back);
    }
}

void TestWidgets::gaugeTextInverts() {
    const QColor back(200, 200, 200);
    const QColor fore(58, 110, 165);
    TGauge gauge;
    gauge.setBackColor(back);
    gauge.setForeColor(fore);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    gauge.setFont(font);
    gauge.resize(202, 20);
    gauge.setProgress(50);
    const QImage plain = gauge.grab().toImage();
    gauge.setShowText(true);
    const QImage text = gauge.grab().toImage();

    // The text covers both the bar and the background, and shows each inverted where it covers
    // it fully; nothing else changes.
    bool invertedBar = false;
    bool invertedBack = false;
    for (int y = 0; y < text.height(); ++y) {
        for (int x = 0; x < text.width(); ++x) {
            const QColor before(plain.pixel(x, y));
            const QColor after(text.pixel(x, y));
            if (before == after) {
                continue;
            }
            QVERIFY(x > 60 && x < 140);
            invertedBar |= x <= 100 && after == Inverted(fore);
            invertedBack |= x > 101 && after == Inverted(back);
        }
    }
    QVERIFY(invertedBar);
    QVERIFY(invertedBack);
}

void TestWidgets::applicationTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    for (const auto& [path, title] : {std::pair{"C:/Programs/ABC.EXE", "Abc"},
                                      {"/usr/bin/morvel", "morvel"},
                                      {"/opt/Morvel", "Morvel"},
                                      {"/home/u/My.Prog.v2", "My"}, // cut at the first full stop
                                      {"/x/mORVEL", "morvel"},
                                      {"/x/Q.bin", "Q"},
                                      {"/x.y/Prog", "Prog"},
                                      {"/x/.hidden", ""}}) {
        QTest::newRow(path) << QString(path) << QString(title);
    }
}

void TestWidgets::applicationTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(ApplicationTitle(path), title);
}

void TestWidgets::errorBox_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    // A full stop is added when the text ends in a character above it (0x2E).
    for (const auto& [message, shown] :
         {std::pair{"x", "x."},
          {"", ""},
          {"ends.", "ends."},
          {"a!", "a!"},
          {"abc ", "abc "},
          {"path/", "path/."},
          {"error 42", "error 42."},
          {"Fehler \u00fc", "Fehler \u00fc."},
          // Shown as written, not as big text.
          {"/tmp/<font size=7>x</font>", "/tmp/<font size=7>x</font>."}}) {
        QTest::newRow(*message ? message : "empty")
            << QString::fromUtf8(message) << QString::fromUtf8(shown);
    }
}

void TestWidgets::errorBox() {
    QFETCH(QString, message);
    QFETCH(QString, shown);

    QCOMPARE(ErrorBoxText(message), shown);

    // Thrown from an event handler: the application shows it and goes on.
    Failing failing;
    failing.message = message;
    Qt::TextFormat format = Qt::AutoText;
    BoxWatcher watcher([&] {
        format = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->textFormat();
    });
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&failing, &event);
    QCOMPARE(watcher.Seen(), QStringList{BoxWatcher::Entry(QStringLiteral("tst_widgets"), shown,
                                                           QMessageBox::Critical)});
    QCOMPARE(format, Qt::PlainText);

    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    QTRY_VERIFY(later);
}

void TestWidgets::stopSignalsWithoutSocket() {
    // No descriptor left for the socket pair: the reason is a warning, the signals are left as
    // they were, and a later call can still set them up.
    struct sigaction before {};
    QCOMPARE(::sigaction(SIGTERM, nullptr, &before), 0);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("socketpair: ") +
                                            QRegularExpression::escape(
                                                QString::fromLocal8Bit(std::strerror(EMFILE)))));
    QVERIFY(CloseOnStopSignalsWithoutDescriptors(Application(), &stopTarget));
    struct sigaction after {};
    QCOMPARE(::sigaction(SIGTERM, nullptr, &after), 0);
    QVERIFY(after.sa_handler == before.sa_handler);
}

void TestWidgets::stopSignalCloses_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGQUIT") << SIGQUIT;
}

void TestWidgets::stopSignalCloses() {
    QFETCH(int, signal);
    CloseOnStopSignals(Application(), &stopTarget);
    ClosingWidget other;
    CloseOnStopSignals(Application(), &other); // a second call changes nothing

    // A burst of signals before the event loop runs fills the handler's socket, so its writes
    // start to fail; the code each signal interrupts still finds errno as it left it.
    const int closes = stopTarget.closes;
    for (int i = 0; i < 5000; ++i) {
        errno = EDOM;
        QCOMPARE(::raise(signal), 0);
        QVERIFY2(errno == EDOM, qPrintable(QStringLiteral("errno %1 after signal %2")
                                               .arg(QString::fromUtf8(std::strerror(errno)))
                                               .arg(i + 1)));
    }
    // The event loop takes the burst as one request to close the first window.
    QTRY_COMPARE(stopTarget.closes, closes + 1);
    QTest::qWait(50);
    QCOMPARE(stopTarget.closes, closes + 1);
    QCOMPARE(other.closes, 0);
}

MORVEL_GUI_TEST_MAIN(TestWidgets)

#include "tst_widgets.moc"
