import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The engineering overlay in the root window on the recording engine
// stand-in, the real threshold and signal objects and the real channel and
// station lists: panel texts, threshold mode, the editors' keys and ranges.
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
    property var eng: root ? Finder.find(root, "engMain") : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "EngMain"
        when: windowShown && idLoader.status === Loader.Ready

        function initTestCase() {
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 3
        }
        function init() {
            ISDBtEngine.reset()
            ISDBtData.nSegMode = 2
            // The engine's defaults.
            var defaults = {
                fCnrLevelAuto1toF: 15.5, nCountAuto1toF: 25, nPeriodAuto1toF: 5,
                nPerSignAutoFto1: 0, nCountAutoFto1: 5, nPeriodAutoFto1: 2,
                nPerSignOp1Auto1toF: 1, nCountOp1Auto1toF: 10, nPeriodOp1Auto1toF: 2,
                nPerSignOp1AutoFto1: 0, nCountOp1AutoFto1: 1, nPeriodOp1AutoFto1: 1,
                nPerSignOpFAuto1toF: 1, nCountOpFAuto1toF: 10, nPeriodOpFAuto1toF: 2,
                nPerSignOpFAutoFto1: 0, nCountOpFAutoFto1: 5, nPeriodOpFAutoFto1: 1,
            }
            for (var name in defaults)
                ISDBtThreshold[name] = defaults[name]
            root.gotoMainScreen()
            ISDBtEngine.sendEnterEngMode()
            verify(eng !== null, "the overlay is loaded")
            tryVerify(function() { return eng.activeFocus })
        }
        function cleanup() {
            root.showHideEngInfo(false)
        }

        function rows(name) { return Finder.find(eng, name) }
        function spinText(editor, row) {
            var group = Finder.find(editor, row < 3 ? "upperGroup" : "lowerGroup")
            return group.rowAt(row % 3).valueText
        }
        function editor(name) { return Finder.find(eng, name) }

        function test_enteringShowsTheOverlayAndReportsIt() {
            verify(root.bEngInfoShow)
            verify(!root.bEngThresholdMode, "threshold mode starts off")
            verify(!Finder.find(eng, "engThreshold").visible)
            compare(ISDBtEngine.callsOf("setEngScreenStatus").pop(), [true])
        }

        function test_backUnloadsTheOverlayAndClearsThresholdMode() {
            keyClick(Qt.Key_J)
            verify(root.bEngThresholdMode)
            keyClick(Qt.Key_D)
            verify(!root.bEngInfoShow)
            verify(!root.bEngThresholdMode)
            compare(Finder.find(root, "engLoader").source.toString(), "")
            compare(ISDBtEngine.callsOf("setEngScreenStatus").pop(), [false])
            ISDBtEngine.sendEnterEngMode()
            verify(!root.bEngThresholdMode, "a new showing starts outside threshold mode")
        }

        function test_selectTogglesThresholdModeAndTheEditorTakesTheFocus() {
            keyClick(Qt.Key_J)
            verify(Finder.find(eng, "engThreshold").visible)
            verify(editor("thresholdAuto").activeFocus)
            keyClick(Qt.Key_J)
            verify(!root.bEngThresholdMode, "select inside the editor toggles too")
            verify(!Finder.find(eng, "engThreshold").visible)
            verify(eng.activeFocus)
        }

        function test_panelTexts() {
            ISDBtData.nCurrChannelNumber = 14
            ISDBtData.nSignalLevel = 3
            ISDBtData.nAntennaState = 2
            ISDBtData.nStationSearchType = 1
            ISDBtData.nHDMIMode = 2
            ISDBtSingalInfo.nCnr0 = -3
            ISDBtSingalInfo.nCnrTot = -7
            ISDBtSingalInfo.nEnabled2TS = 1
            var current = rows("currentRows")
            compare(current.valueAt(3), "14 (27)")
            compare(current.valueAt(10), "Disconnect")
            compare(current.valueAt(11), "Lev3")
            compare(current.valueAt(12), Number(ISDBtData.fCnrAvg).toFixed(3))
            var setting = rows("settingRows")
            compare(setting.valueAt(1), "Auto")
            compare(setting.valueAt(7), "RELAY")
            compare(setting.valueAt(9), "1080P")
            var signal = rows("signalRows")
            compare(signal.valueAt(0), "2TS")
            compare(signal.valueAt(1), "-7", "a negative total CNR stays as it is")
            compare(signal.valueAt(3), "0", "a negative port CNR shows as 0")
            compare(signal.nameAt(3), "CNR [1]")
            compare(eng.getStringAudioMode(0), "Unknown")
            compare(eng.getStringSettingOnOff(7), "OFF")
            ISDBtData.nAntennaState = 0
        }

        function test_thresholdInfoFollowsTheSegmentMode_data() {
            return [
                { tag: "fixed full-seg", mode: 0, rows: 0, title: "THRESHOLD INFO (FSeg)" },
                { tag: "fixed one-seg", mode: 1, rows: 0, title: "THRESHOLD INFO (1Seg)" },
                { tag: "automatic", mode: 2, rows: 4, title: "THRESHOLD INFO (Auto)",
                  up: "PER != 0 | 5 s | more than 25", down: "PER != 0 | 2 s | more than 5" },
                { tag: "one-seg priority", mode: 3, rows: 4, title: "THRESHOLD INFO (AutoOp1)",
                  up: "PER == 0 | 2 s | more than 10", down: "PER != 0 | 1 s | more than 1" },
                { tag: "full-seg priority", mode: 4, rows: 4, title: "THRESHOLD INFO (AutoOpF)",
                  up: "PER == 0 | 2 s | more than 10", down: "PER != 0 | 1 s | more than 5" },
            ]
        }
        function test_thresholdInfoFollowsTheSegmentMode(data) {
            ISDBtData.nSegMode = data.mode
            keyClick(Qt.Key_J)
            var info = Finder.find(eng, "engThresholdInfo")
            compare(info.titleText, data.title)
            var group = rows("thresholdInfoRows")
            compare(group.count, data.rows)
            var editors = ["thresholdAuto", "thresholdAuto1Seg", "thresholdAutoFSeg"]
            for (var i = 0; i < editors.length; ++i)
                compare(editor(editors[i]).visible, data.mode === i + 2, editors[i])
            if (data.rows === 0)
                return
            compare(group.valueAt(0), data.up)
            compare(group.valueAt(2), data.down)
            ISDBtThreshold.nExceededCountAuto1toF = 7
            compare(group.valueAt(1), "7")
            ISDBtThreshold.nExceededCountAuto1toF = 0
        }

        function test_cnrLevelStepsByATenthWithinItsRange() {
            keyClick(Qt.Key_J)
            var auto = editor("thresholdAuto")
            compare(spinText(auto, 0), "15.5")
            keyClick(Qt.Key_K)
            compare(ISDBtEngine.callsOf("setEngAuto1toF"), [[0, 156]])
            compare(spinText(auto, 0), "15.6")
            for (var i = 0; i < 30; ++i)
                keyClick(Qt.Key_K)
            compare(spinText(auto, 0), "18.0")
            compare(ISDBtEngine.callsOf("setEngAuto1toF").pop(), [0, 180], "no call past the top")
            for (i = 0; i < 50; ++i)
                keyClick(Qt.Key_H)
            compare(spinText(auto, 0), "14.0")
            compare(ISDBtEngine.callsOf("setEngAuto1toF").pop(), [0, 140])
            fuzzyCompare(ISDBtThreshold.fCnrLevelAuto1toF, 14.0, 0.001)
        }

        function test_downAndUpWalkSixRowsWithoutWrapping() {
            keyClick(Qt.Key_J)
            var auto = editor("thresholdAuto")
            keyClick(Qt.Key_U)
            compare(auto.focusRow, 0, "up stops at the first row")
            for (var i = 0; i < 8; ++i)
                keyClick(Qt.Key_M)
            compare(auto.focusRow, 5, "down stops at the last row")
            verify(Finder.find(auto, "lowerGroup").rowAt(2).mFocused)
            verify(!Finder.find(auto, "upperGroup").rowAt(2).mFocused)
            keyClick(Qt.Key_U); keyClick(Qt.Key_U); keyClick(Qt.Key_U)
            compare(auto.focusRow, 2, "from the lower group's first row up to the upper group's last")
            keyClick(Qt.Key_H)
            compare(ISDBtEngine.callsOf("setEngAuto1toF"), [[2, 24]])
            compare(spinText(auto, 2), "24")
        }

        function test_timesTopFollowsThePeriodAndDoesNotClamp() {
            keyClick(Qt.Key_J)
            var auto = editor("thresholdAuto")
            keyClick(Qt.Key_M)
            for (var i = 0; i < 6; ++i)
                keyClick(Qt.Key_H)
            compare(spinText(auto, 1), "1", "the period stops at 1")
            compare(auto.rowMax(2), 5)
            compare(spinText(auto, 2), "25", "the count is not clamped by the screen")
            keyClick(Qt.Key_M)
            keyClick(Qt.Key_K)
            compare(spinText(auto, 2), "25", "above the top Right does nothing")
            keyClick(Qt.Key_H)
            compare(spinText(auto, 2), "24")
        }

        function test_perSignRowsOfThePriorityModes_data() {
            return [
                { tag: "one-seg priority", mode: 3, name: "thresholdAuto1Seg", setter: "setEngOp1AutoFto1",
                  first: "[A1]1Seg >> FSeg (PER)" },
                { tag: "full-seg priority", mode: 4, name: "thresholdAutoFSeg", setter: "setEngOpFAutoFto1",
                  first: "[AF]1Seg >> FSeg (PER)" },
            ]
        }
        function test_perSignRowsOfThePriorityModes(data) {
            ISDBtData.nSegMode = data.mode
            keyClick(Qt.Key_J)
            var ed = editor(data.name)
            verify(ed.activeFocus)
            compare(Finder.find(ed, "upperGroup").rowAt(0).mName, data.first)
            compare(spinText(ed, 0), "==")
            for (var i = 0; i < 3; ++i)
                keyClick(Qt.Key_M)
            compare(spinText(ed, 3), "!=")
            keyClick(Qt.Key_K)
            keyClick(Qt.Key_K)
            compare(spinText(ed, 3), "==")
            compare(ISDBtEngine.callsOf(data.setter), [[0, 1]], "the sign stops at 1")
        }

        function test_listsShowTheRealChannelAndStationModels() {
            verify(testLists.load([
                { id: 1, channelNumber: 20, remoconID: 1, serviceID: 0x400, serviceType: 1, tsName: "Alpha", networkID: 0x7FE1 },
                { id: 2, channelNumber: 20, remoconID: 1, serviceID: 0x408, serviceType: 192, pmtPID: 0x1FC8,
                  tsName: "Alpha", networkID: 0x7FE1 },
                { id: 3, channelNumber: 27, remoconID: 4, serviceID: 0x500, serviceType: 1, tsName: "Beta", networkID: 0x7FE2 },
            ]))
            ISDBtEngine.results = { getChannelListCount: 3, getStationListCount: 2 }
            root.showHideEngInfo(false)
            root.showHideEngInfo(true)
            var channels = Finder.find(eng, "channelList")
            tryCompare(channels, "count", 3)
            compare(Finder.find(eng, "engChannel").titleText, "CHANNEL (3)")
            var texts = []
            for (var i = 0; i < channels.count; ++i) {
                channels.currentIndex = i
                texts.push(channels.currentItem.rowText)
            }
            verify(texts.indexOf("(F)R(1_1(1))C(20)S(1024) Alpha") >= 0, texts)
            verify(texts.indexOf("(1)R(1_1(1))C(20)S(1032) Alpha") >= 0, texts)
            verify(texts.indexOf("(F)R(4_1(1))C(27)S(1280) Beta") >= 0, texts)
            var stations = Finder.find(eng, "stationList")
            tryCompare(stations, "count", 2)
            compare(Finder.find(eng, "engStation").titleText, "STATION (2)")
            stations.currentIndex = 0
            compare(stations.currentItem.rowText, "R(1_1(1)) C(20) S(1032 / 1024) N(32737) Alpha")
            verify(!stations.interactive, "a short list stays pinned to the top")
            compare(ISDBtEngine.callsOf("getStationLogoPath").length > 0, systemInfo.supportLogo)
        }
    }
}
