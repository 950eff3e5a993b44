#pragma once

#include <QWidget>

#include <memory>
#include <vector>

class QPushButton;

namespace Ui {
class Item_PCinfo;
}

// The card of one remote PC in the selection list: its name, its state as a picture and a
// message, and two restore buttons that are shown but do nothing yet.
class Item_PCinfo : public QWidget
{
    Q_OBJECT

public:
    Item_PCinfo(const QString& name, const QString& state, QWidget* parent);
    ~Item_PCinfo() override;

    // Only "wait" (exactly so spelled) is a usable PC; every other state shows the crossed-out
    // monitor and a message.
    void applyState(const QString& state);

    // The message shown for `state`; empty for "wait".
    static QString stateMessage(const QString& state);
    static bool isUsable(const QString& state);
    // The state as a screen reader says it, on one line, "wait" included.
    static QString spokenState(const QString& state);

    // The card's two buttons, left to right, and their names for a screen reader's row.
    std::vector<QPushButton*> buttons() const;
    QString buttonNames() const;

private:
    // The title: a name too long for it ends in an ellipsis and is whole in the tool tip.
    void showName(const QString& name);

    std::unique_ptr<Ui::Item_PCinfo> ui;
};
