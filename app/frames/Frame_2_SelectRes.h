#pragma once

#include "JsonMetaType.h"
#include "RunState.h"

#include <json/value.h>

#include <QModelIndex>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class Item_PCinfo;

namespace Ui {
class Frame_2_SelectRes;
}

// Screen 2: one card per remote PC the user may open. A row click, or Return or Space on the
// current row, reports the chosen PC to the main program (once per run); the settings button
// asks for the streaming options. The screen opens with the first free PC as the current row.
class Frame_2_SelectRes : public QWidget
{
    Q_OBJECT

public:
    // `runState`: the run's, which remembers a reported choice; without one the screen keeps its own.
    Frame_2_SelectRes(QWidget* parent, const Json::Value& info, RunState* runState = nullptr);
    ~Frame_2_SelectRes() override;

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void bt_setting_clicked();
    void list_item_clicked(QModelIndex index);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    struct Row
    {
        QString resourceName;
        QString state;
        Item_PCinfo* card = nullptr;
        // Where the row's resource sits in `resources`; rows skip elements that cannot be read.
        Json::ArrayIndex element = 0;
    };

    void addRow(Json::ArrayIndex element);
    // Tab goes from the list through the cards' buttons, row by row, to the settings button.
    void orderTabs();

    std::unique_ptr<Ui::Frame_2_SelectRes> ui;
    Json::Value resources;
    // Grows with the list: every resource the main program sends gets its row.
    std::vector<Row> rows;
    RunState ownRun;
    RunState& run;
};
