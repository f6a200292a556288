#ifndef OSTREL_PANELS_COMBOBOXDELEGATE_H
#define OSTREL_PANELS_COMBOBOXDELEGATE_H

#include "panels/heldeditordelegate.h"

#include <QComboBox>

// Choice cells, edited with one held combo box; the owner also looks cell
// texts up among its entries.
class ComboBoxDelegate : public HeldEditorDelegate
{
    Q_OBJECT

public:
    ComboBoxDelegate(QObject *parent, QComboBox *editor);

    QComboBox *editor() const;

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
};

#endif
