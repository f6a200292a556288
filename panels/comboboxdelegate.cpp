#include "panels/comboboxdelegate.h"

ComboBoxDelegate::ComboBoxDelegate(QObject *parent, QComboBox *editor)
    : HeldEditorDelegate(parent, editor)
{
}

QComboBox *ComboBoxDelegate::editor() const
{
    return static_cast<QComboBox *>(held.data());
}

void ComboBoxDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QComboBox *>(editor)->hidePopup();
    HeldEditorDelegate::destroyEditor(editor, index);
}

void ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (!editable(index))
        return;

    auto *combo = static_cast<QComboBox *>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    const int found = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found < 0 && combo->isEditable()) {
        combo->setEditText(text);
        return;
    }
    combo->setCurrentIndex(found);
    // Still hidden means the edit is just starting: one click shows the choices.
    if (combo->isHidden())
        combo->showPopup();
}

void ComboBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                    const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}
