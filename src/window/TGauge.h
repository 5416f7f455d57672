// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QColor>
#include <QWidget>

// A horizontal progress gauge: a one-pixel black frame, the inside filled with the background
// colour and its left part, progress per cent of the inside width, with the bar colour. It can
// print the progress as "42%" in the middle, drawn by inverting the colours beneath it.
class TGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int progress READ progress WRITE setProgress)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(bool showText READ showText WRITE setShowText)
public:
    static constexpr int MinProgress = 0;
    static constexpr int MaxProgress = 100;

    explicit TGauge(QWidget* parent = nullptr);

    int progress() const noexcept { return value; }
    // Takes values below 0 as 0 and above 100 as 100. Repaints only when the value changes.
    void setProgress(int progress);

    QColor backColor() const { return back; }
    void setBackColor(const QColor& color);
    QColor foreColor() const { return fore; }
    void setForeColor(const QColor& color);
    bool showText() const noexcept { return text; }
    void setShowText(bool show);

    // The width of the bar inside a frame of the given inside width.
    static int BarWidth(int insideWidth, int progress) noexcept {
        return insideWidth > 0 ? insideWidth * progress / MaxProgress : 0;
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int value = MinProgress;
    QColor back{Qt::white};
    QColor fore{Qt::black};
    bool text = false;
};
