#pragma once

#include "JsonMetaType.h"
#include "RunState.h"

#include <json/value.h>

#include <QWidget>

#include <QRect>

#include <memory>
#include <vector>

class QResizeEvent;
class QTimer;

namespace Ui {
class Frame_3_ProgressBar;
}

// Screen 3, while the main program prepares the chosen PC. It knows no real progress: the bar
// creeps up by one percent a second to 97, jumps to 99 on any word from the main program and
// one second after the last such word shows 100 and closes the program's window.
class Frame_3_ProgressBar : public QWidget
{
    Q_OBJECT

public:
    // `runState`: the run's, whose step count a second screen continues; without one the screen
    // keeps its own.
    Frame_3_ProgressBar(QWidget* parent, const Json::Value& info, RunState* runState = nullptr);
    ~Frame_3_ProgressBar() override;

    // "%d %": "0 %", "99 %", "100 %".
    static QString percentText(int percent);

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void tupdate();
    void finishProgressBar();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPercent(int percent);
    void fitToWidth(int available);

    // A widget and its place in the form, which is drawn for a 900-pixel-wide screen.
    struct Placed
    {
        QWidget* widget;
        QRect design;
    };

    std::unique_ptr<Ui::Frame_3_ProgressBar> ui;
    QTimer* stepTimer = nullptr;
    QTimer* finishTimer = nullptr;
    std::vector<Placed> panelParts;
    QRect designPanel;
    QRect designSubTitle;
    QRect designImage;
    RunState ownRun;
    RunState& run;
};
