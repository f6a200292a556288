#ifndef OSTREL_PANELS_HELDEDITORDELEGATE_H
#define OSTREL_PANELS_HELDEDITORDELEGATE_H

#include <QPointer>
#include <QStyledItemDelegate>

// Edits every cell of a column with one held editor widget, so its settings
// (range, entries) are made once by the owner and survive between edits.
class HeldEditorDelegate : public QStyledItemDelegate
{
public:
    HeldEditorDelegate(QObject *parent, QWidget *editor);
    ~HeldEditorDelegate() override;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

protected:
    static bool editable(const QModelIndex &index);

    // Owned, but parented to the view's viewport while in use: the guard
    // keeps a viewport that dies first from leaving us a dangling pointer.
    QPointer<QWidget> held;
};

#endif
