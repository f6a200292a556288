#ifndef OSTREL_PANELS_SPINBOXDELEGATE_H
#define OSTREL_PANELS_SPINBOXDELEGATE_H

#include <QPointer>
#include <QSpinBox>
#include <QStyledItemDelegate>

// Edits every cell of a column with one held spin box, so its range is set
// once by the owner and survives between edits.
class SpinBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    SpinBoxDelegate(QObject *parent, QSpinBox *editor);
    ~SpinBoxDelegate() override;

    QSpinBox *editor() const;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    // Owned, but parented to the view's viewport while in use: the guard
    // keeps a viewport that dies first from leaving us a dangling pointer.
    QPointer<QSpinBox> held;
};

#endif
