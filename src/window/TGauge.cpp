// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TGauge.h"

#include <QPainter>

#include <algorithm>

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::setProgress(int progress) {
    const int clamped = std::clamp(progress, MinProgress, MaxProgress);
    if (clamped == value) {
        return;
    }
    value = clamped;
    update();
}

void TGauge::setBackColor(const QColor& color) {
    back = color;
    update();
}

void TGauge::setForeColor(const QColor& color) {
    fore = color;
    update();
}

void TGauge::setShowText(bool show) {
    text = show;
    update();
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outside = rect();
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outside.adjusted(0, 0, -1, -1));
    const QRect inside = outside.adjusted(1, 1, -1, -1);
    painter.fillRect(inside, back);
    const int bar = BarWidth(inside.width(), value);
    if (bar > 0) {
        painter.fillRect(QRect(inside.left(), inside.top(), bar, inside.height()), fore);
    }
    if (text) {
        // White drawn as the difference inverts whatever lies beneath, bar or background.
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(inside, Qt::AlignCenter, QString::asprintf("%d%%", value));
    }
}
