// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <functional>

// Closes every modal message box as soon as it appears, by its OK button, and records what the
// user saw. An optional probe runs while the box is up, to look at the program's state then;
// with a condition, once the condition holds (or after ten seconds of waiting for it), e.g. once
// the window system has framed and placed the box.
class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void()> probe = {}, std::function<bool()> ready = {})
        : whileShown(std::move(probe)), until(std::move(ready)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start();
    }

    // One entry per box shown: title, icon, number of buttons and text.
    static QString Entry(const QString& title, const QString& text, QMessageBox::Icon icon,
                         qsizetype buttons = 1) {
        return QStringLiteral("%1 | icon %2 | %3 button(s) | %4")
            .arg(title)
            .arg(int(icon))
            .arg(buttons)
            .arg(text);
    }
    const QStringList& Seen() const { return seen; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        if (box != waitingFor) {
            waitingFor = box;
            deadline = QDeadlineTimer(10000);
        }
        if (until && !until() && !deadline.hasExpired()) {
            return;
        }
        seen << Entry(box->windowTitle(), box->text(), box->icon(), box->buttons().size());
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
    QStringList seen;
    std::function<void()> whileShown;
    std::function<bool()> until;
    QMessageBox* waitingFor = nullptr;
    QDeadlineTimer deadline;
};

// Counts the activations a window is sent. The window handles each right after the count goes
// up, so a test that sees the count has seen the window's own steps done.
class ActivationWatcher : public QObject {
public:
    explicit ActivationWatcher(QObject* window) { window->installEventFilter(this); }
    int Count() const noexcept { return count; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::WindowActivate ? 1 : 0;
        return false;
    }

private:
    int count = 0;
};
