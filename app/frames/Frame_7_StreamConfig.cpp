#include "Frame_7_StreamConfig.h"
#include "ui_Frame_7_StreamConfig.h"

#include "JsonText.h"
#include "KeyFocus.h"
#include "Protocol.h"

#include <QtDebug>

#include <array>

namespace {

// Slider values 1 to 5, from speed above all to picture quality above all.
const std::array<const char*, 5> kQualityTexts = {
    "속도 최우선", "속도 우선", "균형", "화질 우선", "화질 최우선",
};

} // namespace

Frame_7_StreamConfig::Frame_7_StreamConfig(QWidget* parent, const Json::Value& /*info*/, RunState* runState)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_7_StreamConfig>()), run(runState ? *runState : ownRun)
{
    ui->setupUi(this);
    connect(ui->bt_back, &QPushButton::clicked, this, &Frame_7_StreamConfig::bt_back_clicked);
    connect(ui->bt_confirm, &QPushButton::clicked, this, &Frame_7_StreamConfig::bt_confirm_clicked);
    connect(ui->slider_video_quality, &QSlider::valueChanged, this, &Frame_7_StreamConfig::slider_value_changed);

    ui->slider_video_quality->setValue(run.videoQuality);
    // The buttons are exclusive: checking one clears the other.
    if (run.codecIsH265) {
        ui->rb_h265->setChecked(true);
    } else {
        ui->rb_h264->setChecked(true);
    }
    ui->slider_video_quality->setAccessibleDescription(qualityText(run.videoQuality));
    // No field here: Return confirms wherever the focus is, unless it is on the back button.
    // The focus starts on the chosen codec.
    auto* keys = new KeyFocus(this, ui->bt_confirm);
    keys->startAt(run.codecIsH265 ? ui->rb_h265 : ui->rb_h264);
}

Frame_7_StreamConfig::~Frame_7_StreamConfig() = default;

QString Frame_7_StreamConfig::qualityText(int value)
{
    if (value < 1 || value > static_cast<int>(kQualityTexts.size())) {
        return QString();
    }
    return QString::fromUtf8(kQualityTexts[static_cast<size_t>(value - 1)]);
}

void Frame_7_StreamConfig::slot_recvinfo(Json::Value /*result*/) {}

void Frame_7_StreamConfig::bt_back_clicked()
{
    // Leaving without confirming keeps the saved choice as it was.
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::ScreenSelectResource;
    emit sendSignalData(message);
}

void Frame_7_StreamConfig::bt_confirm_clicked()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::ScreenStreamConfig;
    run.codecIsH265 = ui->rb_h265->isChecked();
    message["Video"]["Codec"] = run.codecIsH265 ? "h265" : "h264";
    run.videoQuality = ui->slider_video_quality->value();
    message["Video"]["Quality"] = run.videoQuality;

    const QString text = QString::fromStdString(JsonText::writeCompact(message)).trimmed();
    qInfo().noquote().nospace() << "video config : " << text;
    emit sendSignalData(message);
}

void Frame_7_StreamConfig::slider_value_changed(int value)
{
    const QString text = qualityText(value);
    if (!text.isEmpty()) {
        ui->lb_quality_state->setText(text);
        ui->slider_video_quality->setAccessibleDescription(text);
    }
}
