#include "panels/spinboxdelegate.h"

SpinBoxDelegate::SpinBoxDelegate(QObject *parent, QSpinBox *editor)
    : HeldEditorDelegate(parent, editor)
{
}

QSpinBox *SpinBoxDelegate::editor() const
{
    return static_cast<QSpinBox *>(held.data());
}

void SpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (!editable(index))
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
