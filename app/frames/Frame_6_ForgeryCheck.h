#pragma once

#include "JsonMetaType.h"

#include <json/value.h>

#include <QPointer>
#include <QWidget>

#include <memory>

class NotificationBox;
class NotificationQueue;
class QMovie;

namespace Ui {
class Frame_6_ForgeryCheck;
}

// Screen 8, the first of every run: a spinner while the main program checks the installed
// software, the percentage of an update download, and the close of the program when the
// download fails.
class Frame_6_ForgeryCheck : public QWidget
{
    Q_OBJECT

public:
    // `boxes`: the window's queue, which shows this screen's boxes.
    Frame_6_ForgeryCheck(QWidget* parent, const Json::Value& info, NotificationQueue& boxes);
    ~Frame_6_ForgeryCheck() override;

    // " %5.2f%": " 12.50%", "  0.00%", " 100.00%".
    static QString percentText(float percent);

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);

private:
    void showDownloadStart();
    void showDownloadError();

    std::unique_ptr<Ui::Frame_6_ForgeryCheck> ui;
    NotificationQueue& boxes;
    QPointer<NotificationBox> notificationBox;
    std::unique_ptr<QMovie> movie;
};
