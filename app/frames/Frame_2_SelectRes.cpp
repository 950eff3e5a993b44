#include "Frame_2_SelectRes.h"
#include "ui_Frame_2_SelectRes.h"

#include "Item_PCinfo.h"
#include "JsonText.h"
#include "KeyFocus.h"
#include "Protocol.h"
#include "UnframedRowDelegate.h"

#include <QKeyEvent>
#include <QListWidgetItem>
#include <QPushButton>
#include <QtDebug>

namespace {

constexpr int kRowSpacing = 22;

} // namespace

Frame_2_SelectRes::Frame_2_SelectRes(QWidget* parent, const Json::Value& info, RunState* runState)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_2_SelectRes>()), resources(info),
      run(runState ? *runState : ownRun)
{
    ui->setupUi(this);
    ui->pc_list->setItemDelegate(new UnframedRowDelegate(ui->pc_list));
    connect(ui->bt_setting, &QPushButton::clicked, this, &Frame_2_SelectRes::bt_setting_clicked);
    connect(ui->pc_list, &QListWidget::clicked, this, &Frame_2_SelectRes::list_item_clicked);

    if (resources.isArray()) {
        for (Json::ArrayIndex i = 0; i < resources.size(); ++i) {
            addRow(i);
        }
    } else if (!resources.isNull()) {
        qWarning("Frame_2_SelectRes: resource list ignored, \"Info\" is not an array");
    }
    ui->pc_list->setSpacing(kRowSpacing);
    orderTabs();
    ui->pc_list->installEventFilter(this);

    // The first free PC is where a keyboard user starts; made current without selecting it,
    // so the list looks as it did until a key is pressed.
    int first = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (Item_PCinfo::isUsable(rows[i].state)) {
            first = static_cast<int>(i);
            break;
        }
    }
    if (!rows.empty()) {
        ui->pc_list->selectionModel()->setCurrentIndex(ui->pc_list->model()->index(first, 0),
                                                       QItemSelectionModel::NoUpdate);
    }
    new KeyFocus(this, nullptr);
}

Frame_2_SelectRes::~Frame_2_SelectRes() = default;

void Frame_2_SelectRes::addRow(Json::ArrayIndex element)
{
    const Json::Value& list = resources;
    const Json::Value& resource = list[element];
    if (!resource.isObject()) {
        qWarning() << "Frame_2_SelectRes: resource" << element << "skipped, it is not an object";
        return;
    }
    // The key is only checked here; a choice sends it as text, read from the resource again.
    const std::optional<int> key = JsonText::readInt(JsonText::member(resource, "resourceKey"));
    const std::optional<std::string> name = JsonText::readText(JsonText::member(resource, "resourceName"));
    const std::optional<std::string> state = JsonText::readText(JsonText::member(resource, "state"));
    if (!key || !name || !state) {
        qWarning() << "Frame_2_SelectRes: resource" << element
                   << "skipped, \"resourceKey\", \"resourceName\" or \"state\" has the wrong type";
        return;
    }

    Row row;
    row.resourceName = QString::fromStdString(*name);
    row.state = QString::fromStdString(*state);
    row.element = element;
    row.card = new Item_PCinfo(row.resourceName, row.state, this);

    auto* item = new QListWidgetItem();
    item->setSizeHint(row.card->baseSize());
    ui->pc_list->addItem(item);
    ui->pc_list->setItemWidget(item, row.card);
    // The card is outside the screen reader's view of the list: the row speaks for it.
    item->setData(Qt::AccessibleTextRole,
                  row.resourceName + QStringLiteral(", ") + Item_PCinfo::spokenState(row.state));
    item->setData(Qt::AccessibleDescriptionRole, row.card->buttonNames());
    rows.push_back(row);
}

void Frame_2_SelectRes::orderTabs()
{
    QWidget* previous = ui->pc_list;
    for (const Row& row : rows) {
        for (QPushButton* button : row.card->buttons()) {
            setTabOrder(previous, button);
            button->installEventFilter(this);
            previous = button;
        }
    }
    setTabOrder(previous, ui->bt_setting);
}

bool Frame_2_SelectRes::eventFilter(QObject* object, QEvent* event)
{
    if (object == ui->pc_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            const QModelIndex current = ui->pc_list->currentIndex();
            if (current.isValid()) {
                list_item_clicked(current);
            }
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        // A card's button reached by Tab brings its row into view.
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].card->isAncestorOf(qobject_cast<QWidget*>(object))) {
                ui->pc_list->scrollToItem(ui->pc_list->item(static_cast<int>(i)));
            }
        }
    }
    return false;
}

void Frame_2_SelectRes::slot_recvinfo(Json::Value /*result*/)
{
    qInfo("Frame_2_SelectRes recv Data");
}

void Frame_2_SelectRes::bt_setting_clicked()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::ScreenStreamConfig;
    emit sendSignalData(message);
}

void Frame_2_SelectRes::list_item_clicked(QModelIndex index)
{
    if (run.resourceRequestSent) {
        return;
    }
    const int row = index.row();
    if (row < 0 || static_cast<size_t>(row) >= rows.size()) {
        return;
    }
    const Json::Value& list = resources;
    const Json::Value& resource = list[rows[static_cast<size_t>(row)].element];
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::ScreenSelectResource;
    // The main program takes the key as text whatever type it sent it as.
    message["ResKey"] = JsonText::readText(JsonText::member(resource, "resourceKey")).value_or(std::string());
    message["ResName"] = JsonText::member(resource, "resourceName");
    message["ResState"] = JsonText::member(resource, "state");
    run.resourceRequestSent = true;
    emit sendSignalData(message);
}
