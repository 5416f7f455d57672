// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TListControls.h"

TFixedHeightDelegate::TFixedHeightDelegate(QAbstractItemDelegate* rowDrawer, int rowHeight,
                                           QObject* parent)
    : QAbstractItemDelegate(parent), drawer(rowDrawer), height(rowHeight) {
    connect(rowDrawer, &QAbstractItemDelegate::sizeHintChanged, this,
            &QAbstractItemDelegate::sizeHintChanged);
}

void TFixedHeightDelegate::SetHeight(int newHeight) {
    if (newHeight != height) {
        height = newHeight;
        emit sizeHintChanged(QModelIndex());
    }
}

void TFixedHeightDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    if (drawer) {
        drawer->paint(painter, option, index);
    }
}

QSize TFixedHeightDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    return {drawer ? drawer->sizeHint(option, index).width() : 0, height};
}

bool TFixedHeightDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                       const QStyleOptionViewItem& option,
                                       const QModelIndex& index) {
    return drawer && drawer->editorEvent(event, model, option, index);
}

bool TFixedHeightDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    return drawer && drawer->helpEvent(event, view, option, index);
}

namespace {

// Puts a fixed row height on a view, wrapping the delegate that draws its rows.
void SetRowHeight(QAbstractItemView* view, int height) {
    if (auto* fixed = qobject_cast<TFixedHeightDelegate*>(view->itemDelegate())) {
        fixed->SetHeight(height);
    } else {
        view->setItemDelegate(new TFixedHeightDelegate(view->itemDelegate(), height, view));
    }
}

} // namespace

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {}

void TComboBox::setItemHeight(int height) {
    rowHeight = height;
    // Set on the list itself, so that the box's own delegate, which draws the rows, lives on
    // inside the wrapper.
    SetRowHeight(view(), height);
}

TListBox::TListBox(QWidget* parent) : QListView(parent) {}

void TListBox::setItemHeight(int height) {
    rowHeight = height;
    SetRowHeight(this, height);
}
