#pragma once

#include "JsonMetaType.h"
#include "RunState.h"

#include <json/value.h>

#include <QWidget>

#include <memory>

namespace Ui {
class Frame_7_StreamConfig;
}

// Screen 9: the video codec and the quality level of the remote desktop stream. Every screen
// of a run opens with the last confirmed choice; the choice is kept in memory only.
class Frame_7_StreamConfig : public QWidget
{
    Q_OBJECT

public:
    // `runState`: the run's, with the last confirmed choice; without one the screen keeps its own.
    Frame_7_StreamConfig(QWidget* parent, const Json::Value& info, RunState* runState = nullptr);
    ~Frame_7_StreamConfig() override;

    // The label of a quality level; empty outside 1 to 5.
    static QString qualityText(int value);

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void bt_back_clicked();
    void bt_confirm_clicked();
    void slider_value_changed(int value);

private:
    std::unique_ptr<Ui::Frame_7_StreamConfig> ui;
    RunState ownRun;
    RunState& run;
};
