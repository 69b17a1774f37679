import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The programme list, the programme details and the date and time jump
// inside the root window: refresh states, moves, the row menu and its place,
// date column, the details following a refresh, and the jump to an hour.
Item {
    id: idTop
    width: 1280
    height: 720

    Loader {
        id: idLoader
        anchors.fill: parent
        source: "../../qml/main.qml"
    }
    property var root: idLoader.item
    property var screen: root ? Finder.find(root, "epgListMain") : null
    property var list: screen ? screen.listView : null
    property var popup: screen ? screen.popupMenu : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "Epg"
        when: windowShown && idLoader.status === Loader.Ready

        function initTestCase() {
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 4
        }

        function init() {
            root.gotoMainScreen()
            ISDBtEngine.reset()
            testModels.clearAll()
            screen.epgReset = false
        }

        // `rows` events: two per date from MJD 60000, first of each date marked.
        function fill(rows) {
            for (var i = 0; i < rows; ++i) {
                testModels.epgs.append({
                    EventID: 100 + i, StartMJD: 60000 + Math.floor(i / 2), StartHH: 10 + i % 2,
                    StartDate: "12/" + (10 + Math.floor(i / 2)), StartTime: (10 + i % 2) + ":00",
                    EndTime: (11 + i % 2) + ":00", ProgramName: "Programme " + i, TopIndexDate: i % 2 === 0 ? 1 : 0
                })
            }
        }

        // Opens the list as the guide key does and ends the engine's refresh.
        function open(rows) {
            fill(rows)
            root.epgGethering = true
            root.setAppMainScreen("ISDBtEpgListMain", true)
            verify(screen.visible)
            ISDBtEngine.sendEndEpgRefresh()
        }

        function acquiring() { return Finder.find(screen, "acquiringText").visible }

        function test_listWaitsForTheRefreshAndKeepsTheMessageWithoutRows() {
            fill(3)
            root.epgGethering = true
            root.setAppMainScreen("ISDBtEpgListMain", true)
            verify(acquiring())
            verify(!list.visible)
            ISDBtEngine.sendEndEpgRefresh()
            verify(!acquiring())
            verify(list.visible)
            compare(list.currentIndex, 0)

            testModels.epgs.clear()
            ISDBtEngine.sendEndEpgRefresh()
            verify(root.epgGethering)
            verify(acquiring())
        }

        function test_movesStopAtBothEnds() {
            open(3)
            screen.upKeyPressed()
            compare(list.currentIndex, 0)
            screen.downKeyPressed()
            screen.downKeyPressed()
            screen.downKeyPressed()
            compare(list.currentIndex, 2)
            // Held keys move the same way, only while the list has the focus.
            root.upLongKeyPressed()
            compare(list.currentIndex, 1)
            screen.clickOrKeySelected(systemInfo.inputKey)
            verify(popup.visible)
            root.downLongKeyPressed()
            compare(list.currentIndex, 1)
        }

        function test_refreshKeepsTheRowAndRebuildsAfter500ms() {
            open(6)
            list.currentIndex = 4
            ISDBtEngine.sendStartEpgRefresh()
            verify(root.epgGethering)
            compare(root.epgBackupIndex, 4)
            compare(list.currentIndex, -1)
            verify(screen.refreshTimer.running)
            compare(ISDBtEngine.countOf("setEpgListUpdate"), 0)
            tryVerify(function() { return ISDBtEngine.countOf("setEpgListUpdate") === 1 }, 2000)

            ISDBtEngine.sendEndEpgRefresh()
            compare(list.currentIndex, 4)
            verify(!root.epgGethering)

            // Fewer rows than the kept one: row 0.
            list.currentIndex = 5
            ISDBtEngine.sendStartEpgRefresh()
            testModels.epgs.remove(3, 3)
            ISDBtEngine.sendEndEpgRefresh()
            compare(list.currentIndex, 0)
        }

        function test_channelChangeResetsTheListUntilTheNextRefresh() {
            open(3)
            ISDBtEngine.sendChangeChannel(3, 1, 20, 0, "Three", false, false)
            verify(screen.epgReset)
            compare(list.currentIndex, -1)
            verify(acquiring())
            ISDBtEngine.sendEndEpgRefresh()
            verify(!acquiring())
        }

        function test_dateColumnNamesTodayTomorrowThenTheDate() {
            open(6)
            waitForRendering(list)
            var texts = [], shown = []
            for (var row = 0; row < 6; ++row) {
                list.currentIndex = row
                var date = Finder.find(list.currentItem, "dateText")
                texts.push(date.mText)
                shown.push(date.visible)
            }
            compare(texts, [stringInfo.strApp_TODAY, stringInfo.strApp_TODAY, stringInfo.strApp_TOMORROW,
                            stringInfo.strApp_TOMORROW, "12/12", "12/12"])
            // First of its date, or the top row of the view.
            compare(shown, [true, false, true, false, true, false])

            // A refresh that starts a day earlier moves "today".
            testModels.epgs.setProperty(0, "StartMJD", 59999)
            ISDBtEngine.sendEndEpgRefresh()
            list.currentIndex = 1
            compare(Finder.find(list.currentItem, "dateText").mText, stringInfo.strApp_TOMORROW)
        }

        function test_selectOnTheCurrentRowOpensTheMenuBelowOrAbove_data() {
            // 6 rows on screen at 720P: below for positions 0..3, above for 4 and 5.
            return [
                { tag: "row 0", row: 0, below: true },
                { tag: "row 3", row: 3, below: true },
                { tag: "row 4", row: 4, below: false },
                { tag: "row 5", row: 5, below: false },
            ]
        }
        function test_selectOnTheCurrentRowOpensTheMenuBelowOrAbove(data) {
            open(8)
            if (data.row > 0) {
                screen.selectRow(data.row, false)
                compare(list.currentIndex, data.row)
                verify(!popup.visible, "a first select only makes the row current")
            }
            screen.clickOrKeySelected(systemInfo.inputKey)
            verify(popup.visible)
            compare(screen.selectedRow, data.row)
            compare(root.epgBackupIndex, data.row)
            compare(root.epgDetail, "detail " + data.row)
            var h = systemInfo.listItemHeight
            if (data.below)
                compare(popup.y, list.y + (data.row + 1) * h)
            else
                compare(popup.y, list.y + data.row * h - popup.height)

            // A click on a row only closes the menu.
            screen.selectRow(0, true)
            verify(!popup.visible)
            compare(list.currentIndex, data.row)
            compare(screen.selectedRow, -1)
        }

        function test_menuOpensDetailsThatFollowTheRefresh() {
            open(4)
            list.currentIndex = 2
            screen.clickOrKeySelected(systemInfo.inputKey)
            popup.menuItemSelected("", 0)
            compare(root.state, "ISDBtEpgDetailMain")
            var detail = Finder.find(root, "epgDetailText")
            compare(detail.mText, "detail 2")

            ISDBtEngine.results = { getEpgDetailDataByProxyIndex: "refreshed" }
            ISDBtEngine.sendEndEpgRefresh()
            compare(root.epgDetail, "refreshed")

            // Select goes back to the list and clears the text.
            root.screenItem("ISDBtEpgDetailMain").clickOrKeySelected(systemInfo.inputKey)
            compare(root.state, "ISDBtEpgListMain")
            compare(root.epgDetail, "")
            compare(list.currentIndex, 2)
        }

        function test_hourOfTheChosenDayIsFoundByItsDayNumber() {
            open(8)
            // Day 1 has no events: the day list holds days 0 and 2 only.
            testModels.days.append({ DayTimeNumber: 0, DayTimeText: "12/10", DayTimeEpgIndex: 0 })
            testModels.days.append({ DayTimeNumber: 2, DayTimeText: "12/12", DayTimeEpgIndex: 4 })
            testModels.dayTime0.append({ DayTimeNumber: 10, DayTimeText: "10", DayTimeEpgIndex: 0 })
            testModels.dayTime1.append({ DayTimeNumber: 3, DayTimeText: "3", DayTimeEpgIndex: 99 })
            testModels.dayTime2.append({ DayTimeNumber: 10, DayTimeText: "10", DayTimeEpgIndex: 4 })
            testModels.dayTime2.append({ DayTimeNumber: 11, DayTimeText: "11", DayTimeEpgIndex: 5 })
            list.currentIndex = 1
            screen.clickOrKeySelected(systemInfo.inputKey)
            popup.menuItemSelected("", 1)
            compare(root.state, "ISDBtDaySettingMain")
            var jump = root.screenItem("ISDBtDaySettingMain")
            compare(jump.hourList.count, 1, "day 0 at start")

            jump.downKeyPressed()
            compare(jump.currentDay, 2)
            compare(jump.hourList.count, 2)
            jump.rightKeyPressed()
            verify(jump.hourFocused)
            jump.downKeyPressed()
            compare(jump.hourList.currentIndex, 1)
            jump.leftKeyPressed()
            verify(!jump.hourFocused)
            compare(jump.hourList.currentIndex, 0)
            jump.clickOrKeySelected(systemInfo.inputKey)
            verify(jump.hourFocused)
            jump.upKeyPressed()
            compare(jump.hourList.currentIndex, 1, "the hour list wraps")
            jump.clickOrKeySelected(systemInfo.inputKey)

            compare(ISDBtEngine.callsOf("setJumpEpgIndex"), [[5]])
            compare(root.state, "ISDBtEpgListMain")
            compare(list.currentIndex, 5)
            compare(root.epgBackupIndex, 5)
        }

        function test_backClosesTheMenuFirst() {
            open(3)
            screen.clickOrKeySelected(systemInfo.inputKey)
            verify(popup.visible)
            screen.backKeyPressed()
            verify(!popup.visible)
            compare(root.state, "ISDBtEpgListMain")
            screen.backKeyPressed()
            compare(root.state, "ISDBtPlayerMain")
        }
    }
}
