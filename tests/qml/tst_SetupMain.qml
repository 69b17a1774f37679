import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The settings screen inside the root window: tabs and rows, value popups,
// in-place edits, the scan, reset and copy-log questions, back precedence.
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
    property var setup: root ? Finder.find(root, "setupMain") : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "SetupMain"
        when: windowShown && idLoader.status === Loader.Ready

        readonly property int kUp: Qt.Key_U
        readonly property int kDown: Qt.Key_M
        readonly property int kLeft: Qt.Key_H
        readonly property int kRight: Qt.Key_K
        readonly property int kOk: Qt.Key_J
        readonly property int kBack: Qt.Key_Backspace

        function init() {
            systemInfo.modelName = "QM_NRV2Z_MAX"
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 5
            root.gotoMainScreen()
            ISDBtEngine.reset()
            open()
        }
        function cleanup() {
            systemInfo.modelName = "QM_NRV2Z_MAX"
        }
        function open() {
            root.setAppMainScreen("ISDBtSetupMain", true)
            compare(root.state, "ISDBtSetupMain")
            verify(setup.visible)
        }
        function keys(list) {
            for (var i = 0; i < list.length; ++i)
                keyClick(list[i])
        }
        function rowIds() {
            var out = []
            for (var i = 0; i < setup.rows.length; ++i)
                out.push(setup.rows[i].id)
            return out
        }
        function valueShown(id) { return Finder.find(setup, "setupValue_" + id).mText }

        function test_tabsAndRowsByModel_data() {
            return [
                { tag: "QM tab 0", model: "QM_NRV2Z_MAX", tab: 0,
                  rows: ["refreshScan", "allScan", "additionalScan", "stationSearchOp", "autoStationSearch", "bgSearch", "antennaLevel"] },
                { tag: "VEK tab 0", model: "VEK_R410", tab: 0,
                  rows: ["initialScan", "additionalScan", "stationSearchOp", "autoStationSearch"] },
                { tag: "QM tab 1", model: "QM_NRV2Z_MAX", tab: 1,
                  rows: ["segMode", "subtitle", "superImpose", "bilingual", "clock", "volume"] },
                { tag: "QM tab 2", model: "QM_NRV2Z_MAX", tab: 2,
                  rows: ["screenRatio", "screenScale", "videoDelay", "accOp", "version", "reset"] },
                { tag: "VEK tab 2", model: "VEK_R410", tab: 2, rows: ["screenScale", "version", "reset"] },
            ]
        }
        function test_tabsAndRowsByModel(data) {
            systemInfo.modelName = data.model
            for (var i = 0; i < data.tab; ++i)
                keyClick(kDown)
            compare(setup.currentTab, data.tab)
            compare(rowIds(), data.rows)
            compare(Finder.find(setup, "setupBand").mFirstText,
                    [stringInfo.strApp_CHANNEL_SETTINGS, stringInfo.strApp_WATCHING_SETTINGS, stringInfo.strApp_OTHERS][data.tab])
        }

        function test_navigationStopsAtTheEndsAndOpeningStartsOver() {
            keys([kUp])
            compare(setup.currentTab, 0)
            keys([kDown, kDown, kDown])
            compare(setup.currentTab, 2)
            keys([kRight])
            verify(setup.focusOnList)
            keys([kDown, kDown, kDown, kDown, kDown, kDown, kDown, kDown])
            compare(setup.currentRow, 5)
            keys([kUp])
            compare(setup.currentRow, 4)
            // Leaving and opening again: first tab, first row, tabs focused.
            root.gotoMainScreen()
            open()
            compare(setup.currentTab, 0)
            compare(setup.currentRow, 0)
            verify(!setup.focusOnList)
            keys([kDown, kDown, kRight])
            compare(setup.currentRow, 0)
            keys([kLeft])
            verify(!setup.focusOnList)
            keys([kBack])
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_popupPreselectsTheStoredValueAndCallsTheCommand() {
            ISDBtData.nShowTime = 1
            keys([kDown, kRight, kDown, kDown, kDown, kDown])
            compare(setup.currentItem.id, "clock")
            compare(valueShown("clock"), stringInfo.strApp_WITH_SCREEN_DISPLAY)
            keys([kRight])
            compare(setup.dialog, "popup")
            var popup = Finder.find(setup, "setupPopup")
            compare(popup.listView.currentIndex, 1)
            // Back closes only the popup.
            keys([kBack])
            compare(setup.dialog, "")
            compare(root.state, "ISDBtSetupMain")
            verify(setup.focusOnList)
            keys([kOk])
            compare(setup.dialog, "popup")
            keys([kDown, kOk])
            compare(setup.dialog, "")
            compare(ISDBtEngine.callsOf("execClockDisplayChange"), [[2]])
            // Left closes it too, without a call.
            keys([kRight, kLeft])
            compare(setup.dialog, "")
            compare(ISDBtEngine.countOf("execClockDisplayChange"), 1)
        }

        function test_valuesOutsideTheListShowUnknownAndModesReadOnAnyModel() {
            ISDBtData.nSegMode = 2
            compare(setup.valueText({ id: "segMode", kind: "popup" }), stringInfo.strApp_AUTO)
            ISDBtData.nStationSearchTime = 45
            compare(setup.valueText({ id: "autoStationSearch", kind: "popup" }), "Unknown")
            ISDBtData.nVideoDelay = 0
            compare(setup.valueText({ id: "videoDelay", kind: "edit" }), "0.0")
            ISDBtData.nVideoDelay = 7
            compare(setup.valueText({ id: "videoDelay", kind: "edit" }), "0.7")
            ISDBtData.nVideoDelay = 0
            ISDBtData.nStationSearchTime = 0
            ISDBtData.nSegMode = 4
        }

        function test_editRowsStayInTheirLimits_data() {
            return [
                { tag: "VEK volume", model: "VEK_R410", tab: 1, row: 5, id: "volume", stored: 9, presses: 3, up: true, want: 10,
                  call: "execAudioLevelChange" },
                { tag: "scale down", model: "KELP_W5000", tab: 2, row: 1, id: "screenScale", stored: 81, presses: 4, up: false,
                  want: 80, call: "execScreenScaleChange" },
            ]
        }
        function test_editRowsStayInTheirLimits(data) {
            systemInfo.modelName = data.model
            ISDBtData.nAudioLevel = 9
            ISDBtData.nScreenScale = 81
            for (var i = 0; i < data.tab; ++i)
                keyClick(kDown)
            keyClick(kRight)
            for (i = 0; i < data.row; ++i)
                keyClick(kDown)
            compare(setup.currentItem.id, data.id)
            // OK without a change calls nothing.
            keys([kOk, kOk])
            verify(!setup.setupEditMode)
            compare(ISDBtEngine.countOf(data.call), 0)
            keys([kOk])
            verify(setup.setupEditMode)
            for (i = 0; i < data.presses; ++i)
                keyClick(data.up ? kUp : kDown)
            compare(setup.editValue, data.want)
            compare(valueShown(data.id), String(data.want))
            compare(ISDBtEngine.countOf(data.call), 0, "applied by OK only")
            keys([kOk])
            compare(ISDBtEngine.callsOf(data.call), [[data.want]])
            ISDBtData.nAudioLevel = 15
            ISDBtData.nScreenScale = 100
        }

        function test_qmVolumeFollowsEachStepAndDelayWaitsForOk() {
            ISDBtData.nAudioLevel = 10
            ISDBtData.nVideoDelay = 0
            keys([kDown, kRight, kDown, kDown, kDown, kDown, kDown, kOk, kUp])
            compare(ISDBtEngine.callsOf("execAudioLevelChange"), [[11]])
            keys([kOk, kLeft, kDown, kRight, kDown, kDown])
            compare(setup.currentItem.id, "videoDelay")
            verify(setup.videoDelayMode)
            keys([kOk, kUp, kUp])
            compare(ISDBtEngine.countOf("execVideoDelayChange"), 0)
            keys([kOk])
            compare(ISDBtEngine.callsOf("execVideoDelayChange"), [[2]])
            ISDBtData.nAudioLevel = 15
        }

        function test_scanQuestionYesAndNo() {
            keys([kRight, kOk])
            compare(setup.dialog, "scan")
            verify(Finder.find(setup, "setupConfirm").visible)
            compare(Finder.find(setup, "setupBand").mFirstText, stringInfo.strApp_HOME_LIST_REFRESH_SCAN)
            verify(!root.backToPlayerTimer.running)
            keys([kDown, kOk])
            compare(setup.dialog, "")
            verify(root.backToPlayerTimer.running)
            compare(ISDBtEngine.countOf("execScan"), 0)
            keys([kDown, kDown, kOk, kOk])
            compare(ISDBtEngine.callsOf("execAdditionalScan"), [[true]])
        }

        function test_resetQuestionAndBackPrecedence() {
            keys([kDown, kDown, kRight, kDown, kDown, kDown, kDown, kDown])
            compare(setup.currentItem.id, "reset")
            keys([kOk])
            compare(setup.dialog, "reset")
            keys([kBack])
            compare(setup.dialog, "")
            compare(root.state, "ISDBtSetupMain")
            keys([kOk, kOk])
            compare(ISDBtEngine.countOf("execFactoryReset"), 1)
        }

        function test_copyLogQuestionFromTheVersionRow() {
            keys([kDown, kDown, kRight, kDown, kDown, kDown, kDown])
            compare(setup.currentItem.id, "version")
            keys([kOk])
            verify(root.isLogSaveMode)
            keyClick(Qt.Key_F1)
            compare(setup.dialog, "copyLog")
            keys([kOk])
            verify(setup.copyingLog)
            verify(!Finder.find(setup, "setupGuideBar").visible)
            tryVerify(function() { return ISDBtEngine.countOf("execLogCopy") === 1 }, 2000)
            ISDBtEngine.sendCompleteLogCopy(true)
            compare(setup.dialog, "")
            verify(!root.isLogSaveMode)
            verify(!setup.copyingLog)
            // Another digit clears the mode; moving the row clears it too.
            keys([kOk])
            keyClick(Qt.Key_F2)
            verify(!root.isLogSaveMode)
            compare(setup.dialog, "")
            keys([kOk, kUp])
            verify(!root.isLogSaveMode)
        }

        function test_antennaLevelPage() {
            ISDBtData.nCurrChannelNumber = 14
            ISDBtData.nAntStrengthLevel = 60
            keys([kRight, kDown, kDown, kDown, kDown, kDown, kDown])
            compare(setup.currentItem.id, "antennaLevel")
            keys([kOk])
            compare(setup.dialog, "antenna")
            compare(Finder.find(setup, "setupAntennaFrequency").mText,
                    stringInfo.strApp_FREQUENCY + " : UHF 27  557.143 MHz")
            keys([kUp, kDown])
            compare(ISDBtEngine.countOf("execNextChannel"), 1)
            compare(ISDBtEngine.countOf("execPrevChannel"), 1)
            keys([kOk])
            compare(setup.dialog, "")
        }
    }
}
