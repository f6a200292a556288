#include "panels/comboboxdelegate.h"

ComboBoxDelegate::ComboBoxDelegate(QObject *parent, QComboBox *editor)
    : QStyledItemDelegate(parent), held(editor)
{
    held->hide();
}

ComboBoxDelegate::~ComboBoxDelegate()
{
    if (held) {
        held->clearFocus();
        delete held.data();
    }
}

QComboBox *ComboBoxDelegate::editor() const
{
    return held.data();
}

QWidget *ComboBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                        const QModelIndex &) const
{
    held->setParent(parent);
    return held.data();
}

void ComboBoxDelegate::destroyEditor(QWidget *editor, const QModelIndex &) const
{
    static_cast<QComboBox *>(editor)->hidePopup();
    editor->hide();
}

void ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QAbstractItemModel *model = index.model();
    if (!model || !(model->flags(index) & Qt::ItemIsEditable))
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

void ComboBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
