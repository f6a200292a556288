#ifndef OSTREL_PANELS_SPINBOXDELEGATE_H
#define OSTREL_PANELS_SPINBOXDELEGATE_H

#include "panels/heldeditordelegate.h"

#include <QSpinBox>

// Number cells, edited with one held spin box whose range the owner sets.
class SpinBoxDelegate : public HeldEditorDelegate
{
    Q_OBJECT

public:
    SpinBoxDelegate(QObject *parent, QSpinBox *editor);

    QSpinBox *editor() const;

    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
};

#endif
