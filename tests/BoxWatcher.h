#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

// Closes every modal message box as soon as it appears, by clicking its OK button, and records
// what the user would have seen. An optional probe runs while the box is up, to look at the
// program's state at that moment.
class BoxWatcher {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
    };

    explicit BoxWatcher(std::function<void()> probe = {}) : whileShown(std::move(probe)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start();
    }

    const std::vector<Box>& Boxes() const { return boxes; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        boxes.push_back({box->windowTitle(), box->text(), box->icon(),
                         static_cast<int>(box->buttons().size())});
        if (whileShown) {
            whileShown();
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    }

    QTimer timer;
    std::vector<Box> boxes;
    std::function<void()> whileShown;
};
