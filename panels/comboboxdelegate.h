#ifndef OSTREL_PANELS_COMBOBOXDELEGATE_H
#define OSTREL_PANELS_COMBOBOXDELEGATE_H

#include <QComboBox>
#include <QPointer>
#include <QStyledItemDelegate>

// Edits every cell of a column with one held combo box; the owner also looks
// cell texts up among its entries.
class ComboBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    ComboBoxDelegate(QObject *parent, QComboBox *editor);
    ~ComboBoxDelegate() override;

    QComboBox *editor() const;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    // See SpinBoxDelegate: owned, yet parented to the viewport during edits.
    QPointer<QComboBox> held;
};

#endif
