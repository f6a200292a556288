#include "panels/spinboxdelegate.h"

SpinBoxDelegate::SpinBoxDelegate(QObject *parent, QSpinBox *editor)
    : QStyledItemDelegate(parent), held(editor)
{
    held->hide();
}

SpinBoxDelegate::~SpinBoxDelegate()
{
    if (held) {
        held->clearFocus();
        delete held.data();
    }
}

QSpinBox *SpinBoxDelegate::editor() const
{
    return held.data();
}

QWidget *SpinBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                       const QModelIndex &) const
{
    held->setParent(parent);
    return held.data();
}

void SpinBoxDelegate::destroyEditor(QWidget *editor, const QModelIndex &) const
{
    editor->hide();
}

void SpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QAbstractItemModel *model = index.model();
    if (!model || !(model->flags(index) & Qt::ItemIsEditable))
        return;
    // Text that is no number opens at 0, clamped into the range.
    static_cast<QSpinBox *>(editor)->setValue(index.data(Qt::EditRole).toInt());
}

void SpinBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                   const QModelIndex &index) const
{
    auto *spin = static_cast<QSpinBox *>(editor);
    spin->interpretText();
    model->setData(index, spin->value(), Qt::EditRole);
}

void SpinBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
