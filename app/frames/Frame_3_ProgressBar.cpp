#include "Frame_3_ProgressBar.h"
#include "ui_Frame_3_ProgressBar.h"

#include "JsonText.h"
#include "Protocol.h"

#include <QResizeEvent>
#include <QTimer>
#include <QtDebug>

namespace {

constexpr int kTickMs = 1000;
constexpr int kFinishDelayMs = 1000;
// The bar never claims to be done on its own.
constexpr int kLastStep = 97;
constexpr int kAnsweredPercent = 99;
constexpr int kDonePercent = 100;
// Room left beside the panel, and between the lines above and below it, when the screen is
// narrower than its form.
constexpr int kNarrowSideMargin = 15;
constexpr int kNarrowGap = 20;

QString subTitleText()
{
    return QString::fromUtf8("PC 접속 중 입니다. 잠시만 기다려 주세요…");
}

QString preparingText()
{
    return QString::fromUtf8("OS 준비중...");
}

} // namespace

Frame_3_ProgressBar::Frame_3_ProgressBar(QWidget* parent, const Json::Value& /*info*/, RunState* runState)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_3_ProgressBar>()), run(runState ? *runState : ownRun)
{
    ui->setupUi(this);
    designPanel = ui->frame->geometry();
    designSubTitle = ui->le_sub_tilte->geometry();
    designImage = ui->lb_image->geometry();
    for (QWidget* part : {static_cast<QWidget*>(ui->progressBar), static_cast<QWidget*>(ui->lb_percentage),
                          static_cast<QWidget*>(ui->lb_text), static_cast<QWidget*>(ui->lb_text_2)}) {
        panelParts.push_back({part, part->geometry()});
    }
    showPercent(0);

    stepTimer = new QTimer(this);
    stepTimer->setObjectName(QStringLiteral("stepTimer"));
    connect(stepTimer, &QTimer::timeout, this, &Frame_3_ProgressBar::tupdate);
    stepTimer->start(kTickMs);

    ui->le_sub_tilte->setText(subTitleText());
    ui->lb_text->show();
    ui->lb_text->setText(preparingText());
    ui->lb_text_2->hide();
}

Frame_3_ProgressBar::~Frame_3_ProgressBar() = default;

void Frame_3_ProgressBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitToWidth(width());
}

// The form is 900 pixels wide, but the main window shows every screen in a frame of 420. Cut
// off there, the title and the panel would end in mid-word on the right; instead they keep
// their form places when there is room and are otherwise centred and narrowed to the width.
void Frame_3_ProgressBar::fitToWidth(int available)
{
    const bool narrow = available < designSubTitle.width();
    ui->le_sub_tilte->setWordWrap(narrow);
    if (!narrow) {
        ui->le_sub_tilte->setGeometry(designSubTitle);
        ui->frame->setGeometry(designPanel);
        ui->lb_image->setGeometry(designImage);
        for (const Placed& part : panelParts) {
            part.widget->setGeometry(part.design);
        }
        return;
    }

    const int titleHeight = qMax(designSubTitle.height(), ui->le_sub_tilte->heightForWidth(available));
    ui->le_sub_tilte->setGeometry(0, designSubTitle.y(), available, titleHeight);

    const int panelWidth = qMin(designPanel.width(), available - 2 * kNarrowSideMargin);
    const int panelTop = qMax(designPanel.y(), designSubTitle.y() + titleHeight + kNarrowGap);
    ui->frame->setGeometry((available - panelWidth) / 2, panelTop, panelWidth, designPanel.height());
    // Each part keeps its distance from the panel's left and right edges.
    const int shrink = designPanel.width() - panelWidth;
    for (const Placed& part : panelParts) {
        part.widget->setGeometry(part.design.x(), part.design.y(), part.design.width() - shrink, part.design.height());
    }
    ui->lb_image->setGeometry((available - designImage.width()) / 2, ui->frame->geometry().bottom() + 1 + kNarrowGap,
                              designImage.width(), designImage.height());
}

QString Frame_3_ProgressBar::percentText(int percent)
{
    return QStringLiteral("%1 %").arg(percent);
}

void Frame_3_ProgressBar::showPercent(int percent)
{
    ui->progressBar->setValue(percent);
    ui->lb_percentage->setText(percentText(percent));
}

void Frame_3_ProgressBar::tupdate()
{
    if (run.progressStep >= kLastStep) {
        return;
    }
    ++run.progressStep;
    showPercent(run.progressStep);
}

void Frame_3_ProgressBar::slot_recvinfo(Json::Value result)
{
    const std::optional<std::string> info = JsonText::readText(JsonText::member(result, "Info"));
    if (!info) {
        qWarning("Progress update ignored: \"Info\" is an array or an object");
        return;
    }
    qInfo().noquote().nospace() << "Progress recvInfo : " << QString::fromStdString(*info);

    stepTimer->stop();
    showPercent(kAnsweredPercent);

    // Each update restarts the wait: the screen finishes one second after the last one.
    auto* next = new QTimer(this);
    next->setObjectName(QStringLiteral("finishTimer"));
    delete finishTimer;
    finishTimer = next;
    connect(finishTimer, &QTimer::timeout, this, &Frame_3_ProgressBar::finishProgressBar);
    finishTimer->start(kFinishDelayMs);
}

void Frame_3_ProgressBar::finishProgressBar()
{
    showPercent(kDonePercent);
    if (finishTimer) {
        finishTimer->stop();
    }
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::BitClose;
    message["Info"] = "Finish";
    emit sendSignalData(message);
}
