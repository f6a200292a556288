#include "panels/heldeditordelegate.h"

#include <QWidget>

HeldEditorDelegate::HeldEditorDelegate(QObject *parent, QWidget *editor)
    : QStyledItemDelegate(parent), held(editor)
{
    held->hide();
}

HeldEditorDelegate::~HeldEditorDelegate()
{
    if (held) {
        held->clearFocus();
        delete held.data();
    }
}

QWidget *HeldEditorDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                          const QModelIndex &) const
{
    held->setParent(parent);
    return held.data();
}

void HeldEditorDelegate::destroyEditor(QWidget *editor, const QModelIndex &) const
{
    editor->hide();
}

void HeldEditorDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

bool HeldEditorDelegate::editable(const QModelIndex &index)
{
    const QAbstractItemModel *model = index.model();
    return model && (model->flags(index) & Qt::ItemIsEditable);
}
