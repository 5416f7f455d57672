// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window whose outer frame (title bar and borders included) has the given size goes to
// be centred on a screen: half the room left over from the screen's left and top edges, halved
// with truncation. A frame larger than the screen (a scale factor of 2 on a small screen) would
// stick out above it, title bar and all: its top-left corner is kept at least at that of the
// screen's available area (the screen less its panels), so the title bar stays in reach.
QPoint CentredPosition(const QRect& screen, const QRect& available, const QSize& frame);

// Centres a top-level window's frame on the primary screen, over the whole screen, its title bar
// on the screen. A window not
// shown yet is centred again when it is shown and once more when it first appears, by then with
// the frame the window manager has put around it; after that it stays where the user moves it.
void CentreOnScreen(QWidget* window);

// A message box centred on the screen, not over the window it belongs to (which it still stays
// in front of and blocks).
// Its text is plain: a path with markup in it shows the characters as written.
class TCentredMessageBox : public QMessageBox {
    Q_OBJECT
public:
    TCentredMessageBox(Icon icon, const QString& title, const QString& text,
                       StandardButtons buttons, QWidget* parent)
        : QMessageBox(icon, title, QString(), buttons, parent) {
        setTextFormat(Qt::PlainText);
        setText(text);
    }

protected:
    void showEvent(QShowEvent* event) override;
};
