#pragma once

#include <QLineEdit>

// A line edit with an input mask that a screen reader reads as what the user typed (see
// MaskedFieldAccessible); a class of its own because Qt chooses the reading by class name.
class MaskedLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit MaskedLineEdit(QWidget* parent = nullptr);
    ~MaskedLineEdit() override;
};
