#include "TApplication.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
    }
    return false;
}

void ReportException(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& caught) {
        ShowErrorBox(QString::fromUtf8(caught.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"));
    }
}

QString ApplicationTitle(const QString& programFilePath) {
    QString name = QFileInfo(programFilePath).fileName();
    const qsizetype stop = name.indexOf(QLatin1Char('.'));
    if (stop >= 0) {
        name.truncate(stop);
    }
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

QString ApplicationTitle() {
    return ApplicationTitle(QCoreApplication::applicationFilePath());
}

QString ErrorBoxText(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= 0x2E) {
        return message;
    }
    return message + QLatin1Char('.');
}

namespace {

// The window the box belongs over: the active one, else a visible top-level window.
QWidget* BoxParent() {
    if (QWidget* active = QApplication::activeModalWidget()) {
        return active;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow() && !widget->parentWidget()) {
            return widget;
        }
    }
    return nullptr;
}

} // namespace

void ShowErrorBox(const QString& message) {
    ShowStopBox(ErrorBoxText(message));
}

void ShowStopBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, BoxParent());
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}
