import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The station list inside the root window, driven by the remote's keys: the
// current row on opening and on the engine's refresh, wrapping moves, the row
// texts and the tune on select.
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
    property var screen: root ? Finder.find(root, "stationListMain") : null
    property var list: screen ? screen.listView : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "StationList"
        when: windowShown && idLoader.status === Loader.Ready

        function initTestCase() {
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 4
        }

        function init() {
            root.gotoMainScreen()
            ISDBtEngine.reset()
            testModels.clearAll()
            // Held keys: the first repeat comes at once, the tests step the rest.
            root.longKeyInterval = 3600000
            root.cancelKeys()
            root.forceActiveFocus()
            Finder.find(root, "playerMain").forceActiveFocus()
            var stations = [
                { RemoconID: 1, SubChannel: 1, DispSubChannel: 1, ChannelNumber: 13, NetworkID: 1, TSName: "One", ProgramName: "News" },
                { RemoconID: 1, SubChannel: 2, DispSubChannel: 2, ChannelNumber: 13, NetworkID: 1, TSName: "One 2", ProgramName: "" },
                { RemoconID: 3, SubChannel: 1, DispSubChannel: 1, ChannelNumber: 20, NetworkID: 3, TSName: "Three", ProgramName: "Film" },
                { RemoconID: 5, SubChannel: 1, DispSubChannel: 1, ChannelNumber: 22, NetworkID: 5, TSName: "Five", ProgramName: "Quiz" },
            ]
            for (var i = 0; i < stations.length; ++i)
                testModels.stations.append(stations[i])
        }

        // Opens the list with the channel-list key.
        function open(index) {
            ISDBtData.nCurrStationIndex = index
            keyClick(Qt.Key_Q)
            compare(root.state, "ISDBtStationListMain")
            verify(screen.visible)
            verify(screen.activeFocus)
        }

        // A key held until the first repeat, then let go.
        function hold(key) {
            keyPress(key)
            keyPress(key, Qt.ShiftModifier)
            tryCompare(root, "longKeyCnt", 1)
            keyRelease(key)
        }

        function test_openingSelectsTheCurrentStationElseRowZero_data() {
            return [
                { tag: "current", index: 2, row: 2 },
                { tag: "none", index: -1, row: 0 },
                { tag: "beyond", index: 9, row: 0 },
            ]
        }
        function test_openingSelectsTheCurrentStationElseRowZero(data) {
            open(data.index)
            compare(list.currentIndex, data.row)
        }

        function test_movesWrapAtBothEnds() {
            open(0)
            keyClick(Qt.Key_U)
            compare(list.currentIndex, 3)
            keyClick(Qt.Key_M)
            compare(list.currentIndex, 0)
            keyClick(Qt.Key_M)
            compare(list.currentIndex, 1)
            // A held key moves on its press and again on each repeat.
            hold(Qt.Key_U)
            compare(list.currentIndex, 3)
            hold(Qt.Key_M)
            compare(list.currentIndex, 1)
        }

        function test_refreshClearsTheCurrentRowUntilItEnds() {
            open(3)
            ISDBtEngine.sendRefreshStaionListStart()
            compare(list.currentIndex, -1)
            ISDBtData.nCurrStationIndex = 1
            ISDBtEngine.sendRefreshStaionListEnd()
            compare(list.currentIndex, 1)
        }

        function test_selectTunesTheRowsStationFromLiveTv() {
            open(0)
            keyClick(Qt.Key_M)
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.callsOf("execChangeChannel"), [[1, 2]])
            compare(root.state, "ISDBtPlayerMain")
            verify(root.isChChangeByRemocon)
        }

        function test_touchMakesARowCurrentThenTunesIt() {
            open(0)
            list.forceLayout()
            var h = systemInfo.listItemHeight
            mouseClick(list, 20, 2 * h + h / 2)
            compare(list.currentIndex, 2, "a touch on another row only makes it current")
            compare(ISDBtEngine.countOf("execChangeChannel"), 0)
            mouseClick(list, 20, 2 * h + h / 2)
            compare(ISDBtEngine.callsOf("execChangeChannel"), [[3, 1]])
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_rowsShowTheSubChannelOnlyForSharedKeysAndLogosOnFirstSubChannels_data() {
            return [
                { tag: "shared key", count: 2, texts: ["1 -1", "1 -2"] },
                { tag: "own key", count: 1, texts: ["1", "1"] },
            ]
        }
        function test_rowsShowTheSubChannelOnlyForSharedKeysAndLogosOnFirstSubChannels(data) {
            ISDBtEngine.results = { getCountOfRemoconID: data.count }
            open(0)
            list.forceLayout()
            var texts = [], logos = []
            for (var row = 0; row < 2; ++row) {
                if (row > 0)
                    keyClick(Qt.Key_M)
                compare(list.currentIndex, row)
                texts.push(Finder.find(list.currentItem, "remoconText").mText)
                logos.push(Finder.find(list.currentItem, "stationLogo").visible)
            }
            compare(texts, data.texts)
            compare(logos, [true, false])
        }

        function test_logoReloadsForItsChannelAndOnANewNetwork() {
            open(0)
            list.forceLayout()
            var asked = ISDBtEngine.countOf("getStationLogoPath")
            ISDBtEngine.sendChannelLogoUpdated(13, 0x7fe0)
            compare(ISDBtEngine.countOf("getStationLogoPath"), asked + 1, "only the first sub-channel row shows a logo")
            ISDBtEngine.sendChannelLogoUpdated(99, 0x7fe0)
            compare(ISDBtEngine.countOf("getStationLogoPath"), asked + 1)
            testModels.stations.setProperty(2, "NetworkID", 0x7fe1)
            compare(ISDBtEngine.countOf("getStationLogoPath"), asked + 2)
        }

        function test_backOrTheListKeyAgainReturnsToLiveTv_data() {
            return [
                { tag: "back", key: Qt.Key_D },
                { tag: "channel-list key", key: Qt.Key_Q },
            ]
        }
        function test_backOrTheListKeyAgainReturnsToLiveTv(data) {
            open(0)
            keyClick(data.key)
            compare(root.state, "ISDBtPlayerMain")
            verify(!screen.visible)
            compare(ISDBtEngine.countOf("execChangeChannel"), 0)
        }
    }
}
