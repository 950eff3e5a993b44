// The resource selection screen: the cards and their states, the list's look, the one
// reported click of a run, the settings request, lists that are empty, long or badly typed,
// and the bytes the real window writes for the choices.
#include "FocusWalk.h"
#include "Frame_2_SelectRes.h"
#include "Item_PCinfo.h"
#include "ScreenTestSupport.h"

#include <QLabel>
#include <QListWidget>
#include <QScrollBar>

using ScreenTest::json;

namespace {

const char* const kFourPcs = R"([
    {"resourceKey":17,"resourceName":"개발팀 PC-01","state":"wait"},
    {"resourceKey":18,"resourceName":"디자인 PC-02","state":"broken"},
    {"resourceKey":19,"resourceName":"회계 PC-03","state":"ready-fail"},
    {"resourceKey":20,"resourceName":"사무 PC-04","state":"ready"}
])";

const char* const kMonitorStyle = "";
const char* const kBannedStyle = "#lb_pc{border-image:url(:/image/pc_select/ban_monitor.png) 0 0 0 0 stretch stretch;}";

QString brokenText()
{
    return QString::fromUtf8("장애가 발생했습니다.\n재접속 해 주세요.");
}

Json::Value resourceList(int count)
{
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        Json::Value resource(Json::objectValue);
        resource["resourceKey"] = 100 + i;
        resource["resourceName"] = "PC-" + std::to_string(i + 1);
        resource["state"] = "wait";
        list.append(resource);
    }
    return list;
}

} // namespace

class TestFrame_2_SelectRes : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<Frame_2_SelectRes> screen;

    void build(const Json::Value& info)
    {
        screen = std::make_unique<Frame_2_SelectRes>(nullptr, info);
        screen->show();
    }

    QListWidget* list() const { return screen->findChild<QListWidget*>(QStringLiteral("pc_list")); }

    static Item_PCinfo* card(QListWidget* pcList, int row)
    {
        return qobject_cast<Item_PCinfo*>(pcList->itemWidget(pcList->item(row)));
    }

    template <class W> static W* part(Item_PCinfo* item, const char* name)
    {
        return item->findChild<W*>(QLatin1String(name));
    }

    // A click through the window system, so it lands on whatever is drawn at that place.
    static void clickOn(QWidget* target)
    {
        QWidget* top = target->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, target->rect().center()));
    }

    // A user's click lands on the card's name and reaches the list through the card.
    static void clickRow(QListWidget* pcList, int row)
    {
        pcList->scrollToItem(pcList->item(row));
        clickOn(part<QLabel>(card(pcList, row), "lb_pcName"));
    }

private slots:
    void initTestCase()
    {
        ScreenTest::initProgram();
        QVERIFY(peer.listen(0));
    }

    void cleanup() { screen.reset(); }

    void listLook()
    {
        build(json(kFourPcs));
        QCOMPARE(list()->count(), 4);
        const QStringList names = {QString::fromUtf8("개발팀 PC-01"), QString::fromUtf8("디자인 PC-02"),
                                   QString::fromUtf8("회계 PC-03"), QString::fromUtf8("사무 PC-04")};
        for (int row = 0; row < 4; ++row) {
            Item_PCinfo* item = card(list(), row);
            QVERIFY(item);
            QCOMPARE(part<QLabel>(item, "lb_pcName")->text(), names[row]);
        }
        // Rows in array order, 22 pixels apart, centred in the list.
        const QRect first = list()->visualItemRect(list()->item(0));
        const QRect second = list()->visualItemRect(list()->item(1));
        QCOMPARE(second.top() - first.bottom() - 1, 2 * 22);
        // An odd space left over cannot split evenly: within a pixel, whichever way the style rounds.
        QVERIFY(qAbs(first.left() + first.width() / 2 - list()->viewport()->width() / 2) <= 1);
    }

    // A name longer than the card's title ends in an ellipsis inside it and is whole in the
    // card's tool tip; a name that fits shows as it is, with no tool tip.
    void longNameElided()
    {
        const QString longName = QString::fromUtf8("서울 본사 개발팀 원격 작업용 고성능 워크스테이션 PC-0001 (GPU 렌더링 전용, 야간 예약 전용 석)");
        QCOMPARE(longName.size(), 60);
        Json::Value info(Json::arrayValue);
        for (const QString& name : {longName, QString::fromUtf8("개발팀 PC-01")}) {
            Json::Value pc(Json::objectValue);
            pc["resourceName"] = name.toStdString();
            pc["state"] = "wait";
            info.append(pc);
        }
        build(info);
        auto* title = part<QLabel>(card(list(), 0), "lb_pcName");
        QVERIFY(title->text().endsWith(QChar(0x2026)));
        QVERIFY(longName.startsWith(title->text().chopped(1)));
        QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->contentsRect().width());
        QCOMPARE(card(list(), 0)->toolTip(), longName);
        QCOMPARE(part<QLabel>(card(list(), 1), "lb_pcName")->text(), QString::fromUtf8("개발팀 PC-01"));
        QVERIFY(card(list(), 1)->toolTip().isEmpty());
    }

    void cardStates_data()
    {
        QTest::addColumn<QByteArray>("resource");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("message");
        QTest::newRow("wait") << QByteArray(R"({"state":"wait"})") << true << QString();
        QTest::newRow("broken") << QByteArray(R"({"state":"broken"})") << false << brokenText();
        QTest::newRow("ready-fail") << QByteArray(R"({"state":"ready-fail"})") << false
                                    << QString::fromUtf8("지금은 사용할 수 없습니다.");
        QTest::newRow("ready") << QByteArray(R"({"state":"ready"})") << false
                               << QString::fromUtf8("이미 로그인 중입니다.");
        QTest::newRow("Wait") << QByteArray(R"({"state":"Wait"})") << false << brokenText();
        QTest::newRow("WAIT") << QByteArray(R"({"state":"WAIT"})") << false << brokenText();
        QTest::newRow("unknown") << QByteArray(R"({"state":"booting"})") << false << brokenText();
        QTest::newRow("missing state") << QByteArray(R"({"resourceKey":3})") << false << brokenText();
    }

    void cardStates()
    {
        QFETCH(QByteArray, resource);
        QFETCH(bool, usable);
        QFETCH(QString, message);
        Json::Value info(Json::arrayValue);
        info.append(json(resource.constData()));
        build(info);
        QCOMPARE(list()->count(), 1);
        Item_PCinfo* item = card(list(), 0);
        auto* statusLine = part<QLabel>(item, "lb_time_msg");
        QCOMPARE(statusLine->isHidden(), usable);
        QCOMPARE(statusLine->text(), message);
        QCOMPARE(part<QLabel>(item, "lb_pc")->styleSheet(), QString::fromLatin1(usable ? kMonitorStyle : kBannedStyle));
    }

    void emptyLists_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::newRow("empty array") << QByteArray("[]");
        QTest::newRow("null") << QByteArray("null");
        QTest::newRow("object") << QByteArray(R"({"resourceKey":1,"resourceName":"PC","state":"wait"})");
        QTest::newRow("text") << QByteArray(R"("PC")");
    }

    void emptyLists()
    {
        QFETCH(QByteArray, info);
        build(json(info.constData()));
        QCOMPARE(list()->count(), 0);
        QSignalSpy sent(screen.get(), &Frame_2_SelectRes::sendSignalData);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(200, 80));
        QCOMPARE(sent.count(), 0);
        screen->findChild<QPushButton*>(QStringLiteral("bt_setting"))->click();
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(), ScreenTest::message(9));
    }

    void badElementsSkipped()
    {
        build(json(R"([
            "PC-text", 5, null, [1],
            {"resourceKey":"31","resourceName":"key as text","state":"wait"},
            {"resourceKey":32,"resourceName":["name"],"state":"wait"},
            {"resourceKey":33,"resourceName":"state object","state":{"s":"wait"}},
            {"resourceKey":4294967296,"resourceName":"key too large","state":"wait"},
            {"resourceKey":34,"resourceName":"good","state":"ready"},
            {"resourceName":7,"state":true}
        ])"));
        QCOMPARE(list()->count(), 2);
        QCOMPARE(part<QLabel>(card(list(), 0), "lb_pcName")->text(), QStringLiteral("good"));
        // Numbers and booleans read as their text; a missing key reads as 0, an empty text.
        QCOMPARE(part<QLabel>(card(list(), 1), "lb_pcName")->text(), QStringLiteral("7"));
        QSignalSpy sent(screen.get(), &Frame_2_SelectRes::sendSignalData);
        clickRow(list(), 1);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(),
                 json(R"({"FrameIndex":2,"ResKey":"","ResName":7,"ResState":true})"));
    }

    void cardButtonsDoNothing()
    {
        build(json(kFourPcs));
        QSignalSpy sent(screen.get(), &Frame_2_SelectRes::sendSignalData);
        Item_PCinfo* item = card(list(), 1);
        clickOn(part<QPushButton>(item, "bt_createRecover"));
        clickOn(part<QPushButton>(item, "bt_sysRecover"));
        QCOMPARE(sent.count(), 0);
        QVERIFY(list()->selectedItems().isEmpty());
        // The card itself still reports its row.
        clickRow(list(), 1);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>()["ResKey"], Json::Value("18"));
    }

    void twelveResourcesAllShown()
    {
        build(resourceList(12));
        QCOMPARE(list()->count(), 12);
        QVERIFY(!list()->verticalScrollBar()->isVisible());
        QCOMPARE(part<QLabel>(card(list(), 11), "lb_pcName")->text(), QStringLiteral("PC-12"));
        QSignalSpy sent(screen.get(), &Frame_2_SelectRes::sendSignalData);
        clickRow(list(), 11);
        QVERIFY(list()->viewport()->rect().intersects(list()->visualItemRect(list()->item(11))));
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(),
                 json(R"({"FrameIndex":2,"ResKey":"111","ResName":"PC-12","ResState":"wait"})"));
    }

    // The real window against the peer: the choice, nothing for later clicks on this or a
    // rebuilt list, and the settings request every time.
    void bytesOnTheWire()
    {
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        QVERIFY(window.show<Frame_2_SelectRes>(ScreenTest::message(2, json(kFourPcs))));
        auto* pcList = window.get()->findChild<QListWidget*>(QStringLiteral("pc_list"));
        QVERIFY(pcList->isVisible());
        ScreenTest::grab(window.get(), QStringLiteral("select_res_four_pcs"));

        clickRow(pcList, 3);
        const QByteArray choice("{\"FrameIndex\":2,\"ResKey\":\"20\",\"ResName\":\"\xec\x82\xac\xeb\xac\xb4 PC-04\","
                                "\"ResState\":\"ready\"}\n");
        QVERIFY(peer.waitForBytes(choice.size()));
        QCOMPARE(peer.bytes(), choice);
        QVERIFY(pcList->item(3)->isSelected());
        ScreenTest::grab(window.get(), QStringLiteral("select_res_chosen"));

        peer.clear();
        clickRow(pcList, 3);
        clickRow(pcList, 0);
        window.get()->findChild<QPushButton*>(QStringLiteral("bt_setting"))->click();
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":9}\n"));

        peer.clear();
        QVERIFY(window.show<Frame_2_SelectRes>(ScreenTest::message(2, json(kFourPcs))));
        pcList = window.screen<Frame_2_SelectRes>()->findChild<QListWidget*>(QStringLiteral("pc_list"));
        clickRow(pcList, 0);
        window.screen<Frame_2_SelectRes>()->findChild<QPushButton*>(QStringLiteral("bt_setting"))->click();
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":9}\n"));
    }

    // By keys alone: the first free PC is current, unselected, when the list opens; Tab goes
    // through the cards' buttons to the settings; every row is read with its name and state.
    void keyboardWay()
    {
        build(json(R"([
            {"resourceKey":18,"resourceName":"디자인 PC-02","state":"broken"},
            {"resourceKey":17,"resourceName":"개발팀 PC-01","state":"wait"}
        ])"));
        // The list has the focus, yet looks as it did without it until a key is pressed.
        const QImage unfocused = screen->grab().toImage();
        QVERIFY(FocusWalk::activate(screen.get()));
        QVERIFY(list()->hasFocus());
        QCOMPARE(screen->grab().toImage(), unfocused);
        QCOMPARE(screen->focusWidget(), list());
        QCOMPARE(list()->currentRow(), 1);
        QVERIFY(list()->selectedItems().isEmpty());
        QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(list());
        QCOMPARE(rows->child(0)->text(QAccessible::Name),
                 QString::fromUtf8("디자인 PC-02, 장애가 발생했습니다. 재접속 해 주세요."));
        QCOMPARE(rows->child(1)->text(QAccessible::Name), QString::fromUtf8("개발팀 PC-01, 사용 가능"));
        const QStringList order = {"pc_list",          "bt_createRecover", "bt_sysRecover",
                                   "bt_createRecover", "bt_sysRecover",    "bt_setting"};
        QCOMPARE(FocusWalk::walk(screen.get()), order);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), order), QStringList());
    }

    // The real window against the peer: arrows move between rows and send nothing, Return
    // chooses the row with the bytes a click sends, Space presses the settings button.
    void keysOnTheWire()
    {
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        QVERIFY(window.show<Frame_2_SelectRes>(ScreenTest::message(2, json(kFourPcs))));
        QVERIFY(FocusWalk::activate(window.get()));
        auto* pcList = window.get()->findChild<QListWidget*>(QStringLiteral("pc_list"));
        QCOMPARE(QApplication::focusWidget(), pcList);
        QTest::keyClick(pcList, Qt::Key_Down);
        QTest::keyClick(pcList, Qt::Key_Down);
        QTest::keyClick(pcList, Qt::Key_Up);
        QTest::keyClick(pcList, Qt::Key_Down);
        QCOMPARE(pcList->currentRow(), 2);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());
        QTest::keyClick(pcList, Qt::Key_Return);
        const QByteArray choice = "{\"FrameIndex\":2,\"ResKey\":\"19\",\"ResName\":\"" +
                                  QString::fromUtf8("회계 PC-03").toUtf8() + "\",\"ResState\":\"ready-fail\"}\n";
        QVERIFY(peer.waitForBytes(choice.size()));
        QCOMPARE(peer.bytes(), choice);

        peer.clear();
        QTest::keyClick(pcList, Qt::Key_Space);
        auto* setting = window.get()->findChild<QPushButton*>(QStringLiteral("bt_setting"));
        QTest::keyClick(pcList, Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), setting);
        QTest::keyClick(setting, Qt::Key_Space);
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":9}\n"));
    }

    // Bad lists from the peer leave the program answering the next good one.
    void badListsThenGood()
    {
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        for (const char* bad : {R"({"resourceKey":1})", R"(["a","b",{"resourceKey":"x"}])", R"("list")"}) {
            auto* shown = window.show<Frame_2_SelectRes>(ScreenTest::message(2, json(bad)));
            QVERIFY(shown);
            QCOMPARE(shown->findChild<QListWidget*>(QStringLiteral("pc_list"))->count(), 0);
        }
        QVERIFY(window.show<Frame_2_SelectRes>(ScreenTest::message(2, json(kFourPcs))));
        clickRow(window.get()->findChild<QListWidget*>(QStringLiteral("pc_list")), 0);
        QVERIFY(peer.waitForMessages(1, false));
        QCOMPARE(peer.messages(false).front()["ResKey"], Json::Value("17"));
        QVERIFY(window.get()->isVisible());
    }
};

QTEST_MAIN(TestFrame_2_SelectRes)
#include "TestFrame_2_SelectRes.moc"
