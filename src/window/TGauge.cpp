// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TGauge.h"

#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>

namespace {

// What assistive technology is told of a gauge: a progress bar and its per cent.
class TGaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TGaugeAccessible(TGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return QStringLiteral("%1%").arg(Gauge()->progress());
        }
        return QAccessibleWidget::text(kind);
    }
    QVariant currentValue() const override { return Gauge()->progress(); }
    void setCurrentValue(const QVariant&) override {} // read only
    QVariant maximumValue() const override { return TGauge::MaxProgress; }
    QVariant minimumValue() const override { return TGauge::MinProgress; }
    QVariant minimumStepSize() const override { return 1; }

private:
    const TGauge* Gauge() const { return static_cast<const TGauge*>(widget()); }
};

QAccessibleInterface* GaugeAccessible(const QString& className, QObject* object) {
    auto* gauge = qobject_cast<TGauge*>(object);
    return className == QLatin1String("TGauge") && gauge ? new TGaugeAccessible(gauge) : nullptr;
}

} // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    static const bool accessible = (QAccessible::installFactory(&GaugeAccessible), true);
    Q_UNUSED(accessible)
}

void TGauge::setProgress(int progress) {
    const int clamped = std::clamp(progress, MinProgress, MaxProgress);
    if (clamped == value) {
        return;
    }
    value = clamped;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
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
