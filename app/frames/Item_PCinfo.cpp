#include "Item_PCinfo.h"
#include "ui_Item_PCinfo.h"

#include <QFontMetrics>

namespace {

const char* const kUsableState = "wait";
const char* const kBannedMonitorStyle =
    "#lb_pc{border-image:url(:/image/pc_select/ban_monitor.png) 0 0 0 0 stretch stretch;}";

} // namespace

Item_PCinfo::Item_PCinfo(const QString& name, const QString& state, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Item_PCinfo>())
{
    ui->setupUi(this);
    showName(name);
    ui->lb_time_msg->hide();
    applyState(state);
}

Item_PCinfo::~Item_PCinfo() = default;

void Item_PCinfo::showName(const QString& name)
{
    QLabel* title = ui->lb_pcName;
    title->ensurePolished();
    const QString shown =
        QFontMetrics(title->font()).elidedText(name, Qt::ElideRight, title->contentsRect().width());
    title->setText(shown);
    // A name cut short is still there in whole for whoever points at the card.
    setToolTip(shown == name ? QString() : name);
}

bool Item_PCinfo::isUsable(const QString& state)
{
    return state == QLatin1String(kUsableState);
}

QString Item_PCinfo::spokenState(const QString& state)
{
    if (isUsable(state)) {
        return QString::fromUtf8("사용 가능");
    }
    return stateMessage(state).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

std::vector<QPushButton*> Item_PCinfo::buttons() const
{
    return {ui->bt_createRecover, ui->bt_sysRecover};
}

QString Item_PCinfo::buttonNames() const
{
    return QString::fromUtf8("버튼: %1, %2").arg(ui->bt_createRecover->text(), ui->bt_sysRecover->text());
}

QString Item_PCinfo::stateMessage(const QString& state)
{
    if (isUsable(state)) {
        return QString();
    }
    if (state == QLatin1String("ready-fail")) {
        return QString::fromUtf8("지금은 사용할 수 없습니다.");
    }
    if (state == QLatin1String("ready")) {
        return QString::fromUtf8("이미 로그인 중입니다.");
    }
    // "broken" and every state this client does not know.
    return QString::fromUtf8("장애가 발생했습니다.\n재접속 해 주세요.");
}

void Item_PCinfo::applyState(const QString& state)
{
    if (isUsable(state)) {
        return;
    }
    ui->lb_time_msg->show();
    ui->lb_pc->setStyleSheet(QString::fromLatin1(kBannedMonitorStyle));
    ui->lb_time_msg->setText(stateMessage(state));
}
