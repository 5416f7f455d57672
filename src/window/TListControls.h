// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QListView>
#include <QPointer>

// Draws each row the way another delegate does, at a fixed height, whatever the font.
class TFixedHeightDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    TFixedHeightDelegate(QAbstractItemDelegate* drawer, int height, QObject* parent);

    int Height() const noexcept { return height; }
    void SetHeight(int newHeight);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    QPointer<QAbstractItemDelegate> drawer;
    int height;
};

// A drop-down box whose list rows are itemHeight pixels high.
class TComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(int itemHeight READ itemHeight WRITE setItemHeight)
public:
    explicit TComboBox(QWidget* parent = nullptr);

    int itemHeight() const noexcept { return rowHeight; }
    void setItemHeight(int height);

private:
    int rowHeight = 0; // until set: as the style draws them
};

// A list box whose rows are itemHeight pixels high.
class TListBox : public QListView {
    Q_OBJECT
    Q_PROPERTY(int itemHeight READ itemHeight WRITE setItemHeight)
public:
    explicit TListBox(QWidget* parent = nullptr);

    int itemHeight() const noexcept { return rowHeight; }
    void setItemHeight(int height);

private:
    int rowHeight = 0; // until set: as the style draws them
};
