#include "NotificationBox.h"
#include "ui_NotificationBox.h"

#include "AppState.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QTimer>

namespace {

NotificationBox::ExecHook& execHook()
{
    static NotificationBox::ExecHook hook;
    return hook;
}

constexpr int kFullScreenExtraWidth = 1020;
constexpr int kFullScreenExtraHeight = 480;
constexpr int kPanelShiftX = 510;
constexpr int kPanelShiftY = 240;

} // namespace

NotificationBox::NotificationBox(bool twoButtons, const QString& text, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint), ui(std::make_unique<Ui::NotificationBox>())
{
    ui->setupUi(this);
    connect(ui->bt_no, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->bt_yes, &QPushButton::clicked, this, &NotificationBox::bt_confirm_press);
    connect(ui->bt_ok, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->bt_yes, &QPushButton::clicked, this, &QDialog::reject);

    const int titleBarHeight = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    if (AppState::fullScreenMode()) {
        setGeometry(0, 0, width() + kFullScreenExtraWidth, height() + kFullScreenExtraHeight);
        ui->bg->setGeometry(0, 0, ui->bg->width() + kFullScreenExtraWidth, ui->bg->height() + kFullScreenExtraHeight);
        ui->noti->move(ui->noti->x() + kPanelShiftX, ui->noti->y() + kPanelShiftY);
    } else {
        // Centred over the parent's window (the platform's own dialog placement is not the same
        // everywhere), then shifted by the offsets.
        QPoint origin = pos();
        if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
            const QRect area = owner->geometry();
            origin = area.topLeft() + QPoint((area.width() - width()) / 2, (area.height() - height()) / 2);
        }
        move(origin.x() + horizontalOffset, origin.y() + verticalOffset + titleBarHeight);
    }
    setAttribute(Qt::WA_TranslucentBackground);
    ui->lb_content->setText(text);
    if (twoButtons) {
        ui->bt_ok->hide();
    } else {
        ui->bt_yes->hide();
        ui->bt_no->hide();
    }
}

NotificationBox::~NotificationBox() = default;

QSharedPointer<NotificationBox> NotificationBox::create(bool twoButtons, const QString& text, QWidget* parent)
{
    auto* box = new NotificationBox(twoButtons, text, parent);
    QPointer<NotificationBox> guard(box);
    return QSharedPointer<NotificationBox>(box, [guard](NotificationBox*) { delete guard.data(); });
}

bool NotificationBox::showNotification(QSharedPointer<NotificationBox>& slot, const QString& text, QWidget* owner)
{
    QPointer<QWidget> ownerGuard(owner);
    // The local handle keeps this box alive through its own exec even if a nested message
    // replaces `slot` with a newer box.
    const QSharedPointer<NotificationBox> box = create(false, text, owner);
    slot = box;
    box->setModal(true);
    if (execHook()) {
        QPointer<NotificationBox> boxGuard(box.data());
        QTimer::singleShot(0, box.data(), [boxGuard] {
            if (boxGuard && execHook()) {
                execHook()(boxGuard.data());
            }
        });
    }
    box->exec();
    return !ownerGuard.isNull();
}

void NotificationBox::setExecHook(ExecHook hook)
{
    execHook() = std::move(hook);
}

QString NotificationBox::text() const
{
    return ui->lb_content->text();
}

void NotificationBox::bt_confirm_press()
{
    emit confirm_press();
}
