import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The programme list, the programme details and the date and time jump
// inside the root window, driven by the remote's keys (and touches where the
// screens take them): refresh states, moves, the row menu, its place and the
// way the keys come back to the list once it closes, the date column, the
// details following a refresh, and the jump to an hour.
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

        function cleanup() {
            systemInfo.modelName = "QM_NRV2Z_MAX"
            systemInfo.supportHomeDrive = false
            ISDBtData.nMode = 0
        }

        function init() {
            root.gotoMainScreen()
            ISDBtEngine.reset()
            testModels.clearAll()
            screen.epgReset = false
            // Held keys: the first repeat comes at once, the tests step the rest.
            root.longKeyInterval = 3600000
            root.cancelKeys()
            root.forceActiveFocus()
            Finder.find(root, "playerMain").forceActiveFocus()
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

        // Opens the list with the guide key and ends the engine's refresh.
        function open(rows) {
            fill(rows)
            keyClick(Qt.Key_W)
            compare(root.state, "ISDBtEpgListMain")
            compare(ISDBtEngine.countOf("requestEpgListUpdate"), 1)
            ISDBtEngine.sendEndEpgRefresh()
            verify(screen.activeFocus, "the list takes the keys")
        }

        // Moves the current row down `rows` times.
        function down(rows) {
            for (var i = 0; i < rows; ++i)
                keyClick(Qt.Key_M)
        }

        // A key held until the first repeat, then let go.
        function hold(key) {
            keyPress(key)
            keyPress(key, Qt.ShiftModifier)
            tryCompare(root, "longKeyCnt", 1)
            keyRelease(key)
        }

        // Select on the current row: its menu opens and takes the keys.
        function openMenu() {
            keyClick(Qt.Key_J)
            verify(popup.visible)
            verify(popup.activeFocus)
        }

        // A touch on the list row shown at view position `position`.
        function touchRow(position) {
            var h = systemInfo.listItemHeight
            mouseClick(list, list.width / 2, position * h + h / 2)
        }

        function acquiring() { return Finder.find(screen, "acquiringText").visible }

        function test_listWaitsForTheRefreshAndKeepsTheMessageWithoutRows() {
            fill(3)
            keyClick(Qt.Key_W)
            verify(root.epgGethering)
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

            // The guide key again closes the list.
            keyClick(Qt.Key_W)
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_movesStopAtBothEnds() {
            open(3)
            keyClick(Qt.Key_U)
            compare(list.currentIndex, 0)
            down(3)
            compare(list.currentIndex, 2)
            // A held key moves on its press and again on each repeat.
            hold(Qt.Key_U)
            compare(list.currentIndex, 0)
            hold(Qt.Key_M)
            compare(list.currentIndex, 2)
            // Under the open menu a held key moves the menu, not the list.
            openMenu()
            hold(Qt.Key_U)
            compare(list.currentIndex, 2)
            compare(popup.listView.currentIndex, 1)
        }

        function test_refreshKeepsTheRowAndRebuildsAfter500ms() {
            open(6)
            down(4)
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
            keyClick(Qt.Key_M)
            compare(list.currentIndex, 5)
            ISDBtEngine.sendStartEpgRefresh()
            testModels.epgs.remove(3, 3)
            ISDBtEngine.sendEndEpgRefresh()
            compare(list.currentIndex, 0)
        }

        function test_refreshEndingUnderTheEmergencyQuestionLeavesItTheKeys() {
            open(3)
            ISDBtEngine.sendEwsReceived(77)
            var question = Finder.find(root, "systemPopup")
            verify(question.activeFocus)
            ISDBtEngine.sendStartEpgRefresh()
            ISDBtEngine.sendEndEpgRefresh()
            verify(question.activeFocus, "the question stands over the list")
            root.showHideSystemPopup(false)
            verify(screen.activeFocus, "the list takes the keys back")
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
            list.forceLayout()
            var texts = [], shown = []
            for (var row = 0; row < 6; ++row) {
                if (row > 0)
                    keyClick(Qt.Key_M)
                compare(list.currentIndex, row)
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
            compare(list.currentIndex, 0)
            keyClick(Qt.Key_M)
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
            list.forceLayout()
            if (data.row > 0) {
                touchRow(data.row)
                compare(list.currentIndex, data.row)
                verify(!popup.visible, "a touch on another row only makes it current")
            }
            openMenu()
            compare(screen.selectedRow, data.row)
            compare(root.epgBackupIndex, data.row)
            compare(root.epgDetail, "detail " + data.row)
            var h = systemInfo.listItemHeight
            if (data.below)
                compare(popup.y, list.y + (data.row + 1) * h)
            else
                compare(popup.y, list.y + data.row * h - popup.height)

            // A touch on a row only closes the menu.
            touchRow(0)
            verify(!popup.visible)
            compare(list.currentIndex, data.row)
            compare(screen.selectedRow, -1)
        }

        // Every way the menu closes hands the keys back to the list: a move
        // reaches it, and select opens the menu again on the new row.
        function test_keysReachTheListAgainOnceTheMenuCloses_data() {
            return [
                { tag: "back" },
                { tag: "touch on a row" },
                { tag: "local popups hidden" },
                { tag: "guide refresh" },
                { tag: "channel change" },
                { tag: "details and back" },
                { tag: "date and time jump and back" },
            ]
        }
        function test_keysReachTheListAgainOnceTheMenuCloses(data) {
            open(4)
            list.forceLayout()
            keyClick(Qt.Key_M)
            openMenu()
            switch (data.tag) {
            case "back":
                keyClick(Qt.Key_D)
                break
            case "touch on a row":
                touchRow(0)
                break
            case "local popups hidden":
                root.hideLocalPopup()
                break
            case "guide refresh":
                ISDBtEngine.sendStartEpgRefresh()
                ISDBtEngine.sendEndEpgRefresh()
                break
            case "channel change":
                ISDBtEngine.sendChangeChannel(3, 1, 20, 0, "Three", false, false)
                ISDBtEngine.sendEndEpgRefresh()
                break
            case "details and back":
                keyClick(Qt.Key_J)
                compare(root.state, "ISDBtEpgDetailMain")
                keyClick(Qt.Key_D)
                break
            case "date and time jump and back":
                keyClick(Qt.Key_M)
                keyClick(Qt.Key_J)
                compare(root.state, "ISDBtDaySettingMain")
                keyClick(Qt.Key_D)
                break
            }
            compare(root.state, "ISDBtEpgListMain")
            verify(!popup.visible)
            verify(!popup.activeFocus, "the hidden menu keeps no keys")
            compare(list.currentIndex, 1)
            keyClick(Qt.Key_M)
            compare(list.currentIndex, 2)
            keyClick(Qt.Key_J)
            verify(popup.visible)
            compare(screen.selectedRow, 2)
            compare(root.state, "ISDBtEpgListMain")
        }

        function test_backClosesTheMenuFirst() {
            open(3)
            openMenu()
            keyClick(Qt.Key_D)
            verify(!popup.visible)
            compare(root.state, "ISDBtEpgListMain")
            compare(ISDBtEngine.countOf("popScreen"), 0, "the list stays")
            keyClick(Qt.Key_D)
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_menuOpensDetailsThatFollowTheRefresh() {
            open(4)
            down(2)
            openMenu()
            keyClick(Qt.Key_J)
            compare(root.state, "ISDBtEpgDetailMain")
            var details = root.screenItem("ISDBtEpgDetailMain")
            verify(details.activeFocus)
            compare(Finder.find(root, "epgDetailText").mText, "detail 2")

            ISDBtEngine.results = { getEpgDetailDataByProxyIndex: "refreshed" }
            ISDBtEngine.sendEndEpgRefresh()
            compare(root.epgDetail, "refreshed")

            // Select goes back to the list and clears the text.
            keyClick(Qt.Key_J)
            compare(root.state, "ISDBtEpgListMain")
            compare(root.epgDetail, "")
            compare(list.currentIndex, 2)
        }

        // The details show the table's number of lines, one font height
        // apart, and the keys move them a line at a time.
        function test_detailTextShowsItsLinesOneFontHeightApart() {
            open(3)
            openMenu()
            keyClick(Qt.Key_J)
            compare(root.state, "ISDBtEpgDetailMain")
            var lines = []
            for (var i = 0; i < 30; ++i)
                lines.push("line " + i)
            root.epgDetail = lines.join("\n")
            var text = Finder.find(root, "epgDetailText")
            var font = text.mTextSize
            compare(systemInfo.contentTextLint, 9)
            compare(text.height, 9 * font)
            compare(text.linesOnScreen, 9)
            compare(text.lineCount, 30)
            var flick = Finder.find(text, "scrollTextFlick")
            compare(flick.contentHeight, 30 * font)
            keyClick(Qt.Key_M)
            keyClick(Qt.Key_M)
            compare(flick.contentY, 2 * font)
            keyClick(Qt.Key_U)
            compare(flick.contentY, font)
        }

        // Where the model has them, the guide's table band carries the list
        // mode's icon and the three-digit number, zero-padded; elsewhere not.
        function test_tableBandShowsTheModelsExtras_data() {
            return [
                { tag: "one digit", model: "VEK_R410", homeDrive: true, mode: 1, number: 7, shown: "007" },
                { tag: "two digits", model: "VEK_R410", homeDrive: true, mode: 0, number: 42, shown: "042" },
                { tag: "three digits", model: "VEK_R410", homeDrive: false, mode: 0, number: 123, shown: "123" },
                { tag: "other model", model: "QM_NRV2Z_MAX", homeDrive: false, mode: 1, number: 7, shown: "" },
            ]
        }
        function test_tableBandShowsTheModelsExtras(data) {
            systemInfo.modelName = data.model
            systemInfo.supportHomeDrive = data.homeDrive
            ISDBtData.nMode = data.mode
            ISDBtData.nCurrThreeDigitNumber = data.number
            open(2)
            var number = Finder.find(screen, "tableThreeDigit")
            compare(number.visible, data.shown !== "")
            if (data.shown !== "")
                compare(number.mText, data.shown)
            var icon = data.mode === 1 ? "01_screen_drive.png" : "01_screen_home.png"
            var band = Finder.find(screen, "tableHomeDrive")
            compare(band.visible, data.homeDrive)
            verify(String(band.source).indexOf(icon) >= 0, band.source)
            // The station list's table band carries the same icon.
            root.setAppMainScreen("ISDBtStationListMain", true)
            var stations = Finder.find(Finder.find(root, "stationListMain"), "tableHomeDrive")
            compare(stations.visible, data.homeDrive)
            verify(String(stations.source).indexOf(icon) >= 0, stations.source)
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
            keyClick(Qt.Key_M)
            openMenu()
            keyClick(Qt.Key_M)
            keyClick(Qt.Key_J)
            compare(root.state, "ISDBtDaySettingMain")
            var jump = root.screenItem("ISDBtDaySettingMain")
            verify(jump.activeFocus)
            compare(jump.hourList.count, 1, "day 0 at start")

            keyClick(Qt.Key_M)
            compare(jump.currentDay, 2)
            compare(jump.hourList.count, 2)
            keyClick(Qt.Key_K)
            verify(jump.hourFocused)
            keyClick(Qt.Key_M)
            compare(jump.hourList.currentIndex, 1)
            keyClick(Qt.Key_H)
            verify(!jump.hourFocused)
            compare(jump.hourList.currentIndex, 0)
            keyClick(Qt.Key_J)
            verify(jump.hourFocused)
            keyClick(Qt.Key_U)
            compare(jump.hourList.currentIndex, 1, "the hour list wraps")
            keyClick(Qt.Key_J)

            compare(ISDBtEngine.callsOf("setJumpEpgIndex"), [[5]])
            compare(root.state, "ISDBtEpgListMain")
            compare(list.currentIndex, 5)
            compare(root.epgBackupIndex, 5)
            verify(screen.activeFocus)
        }
    }
}
