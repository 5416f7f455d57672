// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

QPoint CentredPosition(const QRect& screen, const QRect& available, const QSize& frame) {
    return {std::max(screen.left() + (screen.width() - frame.width()) / 2, available.left()),
            std::max(screen.top() + (screen.height() - frame.height()) / 2, available.top())};
}

namespace {

// The widths of a window's frame: those the window system reports once the window has one;
// before that, those of the window it belongs to, which the window manager decorates alike.
QMargins FrameMargins(const QWidget* window) {
    if (const QWindow* handle = window->windowHandle();
        handle && !handle->frameMargins().isNull()) {
        return handle->frameMargins();
    }
    if (const QWidget* owner = window->parentWidget()) {
        if (const QWindow* handle = owner->window()->windowHandle()) {
            return handle->frameMargins();
        }
    }
    return {};
}

void Centre(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window->move(CentredPosition(screen->geometry(), screen->availableGeometry(),
                                     window->size().grownBy(FrameMargins(window))));
    }
}

// Keeps one window centred until it first appears: at its show, and when it is exposed, by
// which time the window manager has framed it.
class TCentring : public QObject {
public:
    explicit TCentring(QWidget* centred) : QObject(centred), window(centred) { Watch(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window && event->type() == QEvent::Show) {
            window->removeEventFilter(this);
            Centre(window);
            Watch();
        } else if (watched == window->windowHandle() && event->type() == QEvent::Expose &&
                   window->windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            Centre(window);
            deleteLater();
        }
        return false;
    }

private:
    void Watch() {
        QWindow* handle = window->windowHandle();
        if (handle && window->isVisible()) {
            handle->installEventFilter(this);
        } else {
            window->installEventFilter(this);
        }
    }

    QWidget* window;
};

} // namespace

void CentreOnScreen(QWidget* window) {
    Centre(window);
    if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
        new TCentring(window);
    }
}

void TCentredMessageBox::showEvent(QShowEvent* event) {
    // The box takes its final size here, and would place itself over its window.
    QMessageBox::showEvent(event);
    CentreOnScreen(this);
}
