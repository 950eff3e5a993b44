#include "Frame_2_SelectRes.h"
#include "ui_Frame_2_SelectRes.h"

#include "Item_PCinfo.h"
#include "JsonText.h"

#include <QListWidgetItem>
#include <QtDebug>

namespace {

constexpr int kRowSpacing = 22;
constexpr int kStreamOptionsScreen = 9;
constexpr int kSelectionScreen = 2;

} // namespace

Frame_2_SelectRes::Frame_2_SelectRes(QWidget* parent, const Json::Value& info, RunState* runState)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_2_SelectRes>()), resources(info),
      run(runState ? *runState : ownRun)
{
    ui->setupUi(this);
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
    const std::optional<int> key = JsonText::readInt(JsonText::member(resource, "resourceKey"));
    const std::optional<std::string> name = JsonText::readText(JsonText::member(resource, "resourceName"));
    const std::optional<std::string> state = JsonText::readText(JsonText::member(resource, "state"));
    if (!key || !name || !state) {
        qWarning() << "Frame_2_SelectRes: resource" << element
                   << "skipped, \"resourceKey\", \"resourceName\" or \"state\" has the wrong type";
        return;
    }

    Row row;
    row.resourceKey = *key;
    row.resourceName = QString::fromStdString(*name);
    row.state = QString::fromStdString(*state);
    row.element = element;
    row.card = new Item_PCinfo(row.resourceName, row.state, this);

    auto* item = new QListWidgetItem();
    item->setSizeHint(row.card->baseSize());
    ui->pc_list->addItem(item);
    ui->pc_list->setItemWidget(item, row.card);
    rows.push_back(row);
}

void Frame_2_SelectRes::slot_recvinfo(Json::Value /*result*/)
{
    qInfo("Frame_2_SelectRes recv Data");
}

void Frame_2_SelectRes::bt_setting_clicked()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = kStreamOptionsScreen;
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
    message["FrameIndex"] = kSelectionScreen;
    // The main program takes the key as text whatever type it sent it as.
    message["ResKey"] = JsonText::readText(JsonText::member(resource, "resourceKey")).value_or(std::string());
    message["ResName"] = JsonText::member(resource, "resourceName");
    message["ResState"] = JsonText::member(resource, "state");
    run.resourceRequestSent = true;
    emit sendSignalData(message);
}
