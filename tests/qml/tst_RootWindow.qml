import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The root window on the recording engine stand-in: screen switching and
// the screen stack, key routing to the engine, bars by the settings.
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
    // The same texts as the root window's own table.
    StringInfo { id: stringInfo }

    TestCase {
        name: "RootWindow"
        when: windowShown && idLoader.status === Loader.Ready

        function initTestCase() {
            // A receiver that has been scanned and shows stations.
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 5
        }

        function init() {
            root.gotoMainScreen()
            ISDBtEngine.reset()
            ISDBtData.nShowChannelInfo = 1
            root.showHideSystemToastPopup(false)
            root.forceActiveFocus()
            Finder.find(root, "playerMain").forceActiveFocus()
        }

        function test_startsOnLiveTvAndReportsIt() {
            compare(root.state, "ISDBtPlayerMain")
            compare(ISDBtEngine.mainState, "ISDBtPlayerMain")
            verify(Finder.find(root, "playerMain").visible)
        }

        function test_menuOpensSetupAndBackReturns() {
            keyClick(Qt.Key_S)
            compare(root.state, "ISDBtSetupMain")
            compare(ISDBtEngine.mainState, "ISDBtSetupMain")
            compare(ISDBtEngine.callsOf("pushScreen"), [["ISDBtPlayerMain"]])
            verify(Finder.find(root, "setupMain").visible)
            verify(!Finder.find(root, "playerMain").visible)
            verify(root.backToPlayerTimer.running, "off live TV the way back is timed")
            keyClick(Qt.Key_D)
            compare(root.state, "ISDBtPlayerMain")
            verify(!root.backToPlayerTimer.running)
            verify(!Finder.find(root, "setupMain").visible)
        }

        function test_backWithAnEmptyStackGoesToLiveTv() {
            root.setAppMainScreen("ISDBtStationListMain", false)
            compare(ISDBtEngine.screenStack.length, 0)
            root.backKeyProcessing()
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_loaderScreensLoadWhenShownAndUnloadWhenLeft() {
            root.setAppMainScreen("ISDBtEpgListMain", true)
            root.setAppMainScreen("ISDBtEpgDetailMain", true)
            var loader = Finder.find(root, "epgDetailLoader")
            compare(loader.status, Loader.Ready)
            verify(loader.item.activeFocus)
            root.backKeyProcessing()
            compare(root.state, "ISDBtEpgListMain")
            compare(loader.status, Loader.Null)
            root.backKeyProcessing()
            compare(root.state, "ISDBtPlayerMain")
        }

        function test_unknownScreenFallsBackToLiveTv() {
            root.setAppMainScreen("ISDBtSetupMain", false)
            root.setAppMainScreen("NoSuchScreen", false)
            compare(root.state, "ISDBtPlayerMain")
            verify(root.checkMainScreen("ISDBtSetupMain"))
            verify(!root.checkMainScreen("ISDBtPlayerMain"))
            verify(!root.checkMainScreen("NoSuchScreen"))
        }

        function test_timeWithoutKeysGoesBackToLiveTv() {
            root.backToPlayerTimer.interval = 50
            root.setAppMainScreen("ISDBtSetupMain", true)
            tryCompare(root, "state", "ISDBtPlayerMain", 2000)
            root.backToPlayerTimer.interval = systemInfo.backToScreenInterval
        }

        function test_gotoMainScreenUnwindsTheWholeStack() {
            root.setAppMainScreen("ISDBtEpgListMain", true)
            root.setAppMainScreen("ISDBtEpgDetailMain", true)
            root.setAppMainScreen("ISDBtDaySettingMain", true)
            root.gotoMainScreen()
            compare(root.state, "ISDBtPlayerMain")
            compare(ISDBtEngine.screenStack.length, 0)
        }

        function test_numberKeyWithoutStationShowsTheToastOnly() {
            ISDBtEngine.results = { getCountOfRemoconID: 0 }
            keyClick(Qt.Key_F3)
            compare(ISDBtEngine.callsOf("getCountOfRemoconID"), [[3]])
            compare(ISDBtEngine.countOf("execChangeChannel"), 0)
            verify(root.showSystemToastPopup)
            var toast = Finder.find(root, "systemToast")
            compare(toast.messages, [stringInfo.strMsg_NO_ASSIGNED_CHANNEL_MSG])
        }

        function test_numberKeyChangesChannel() {
            ISDBtData.nCurrRemoconID = 1
            keyClick(Qt.Key_F3)
            compare(ISDBtEngine.callsOf("execChangeChannel"), [[3, 1]])
            verify(root.isChChangeByRemocon)
        }

        function test_sameNumberKeyMovesToTheOtherSubChannel() {
            ISDBtData.nCurrRemoconID = 4
            ISDBtData.nCurrDispSubChannel = 1
            keyClick(Qt.Key_F4)
            compare(ISDBtEngine.callsOf("findAvailableOtherSubChannel"), [[4, 1]])
            compare(ISDBtEngine.callsOf("execChangeChannel"), [[4, 2]])

            ISDBtEngine.reset()
            ISDBtEngine.results = { findAvailableOtherSubChannel: 0 }
            keyClick(Qt.Key_F4)
            compare(ISDBtEngine.countOf("execChangeChannel"), 0, "no other service: the banner shows instead")
            verify(root.showOsd && root.showStatus)
            verify(!root.isChChangeByRemocon)
        }

        function test_keysReachTheEngine_data() {
            return [
                { tag: "ch up", key: Qt.Key_PageUp, call: "execNextChannel", args: [] },
                { tag: "ch down", key: Qt.Key_PageDown, call: "execPrevChannel", args: [] },
                { tag: "power", key: Qt.Key_P, call: "execPower", args: [] },
                { tag: "mute", key: Qt.Key_X, call: "execChangeAudioMute", args: [] },
                { tag: "bilingual", key: Qt.Key_Z, call: "execBilingualChange", args: [] },
                { tag: "home list", key: Qt.Key_A, call: "execHomeList", args: [] },
                { tag: "all scan", key: Qt.Key_C, call: "execScan", args: [] },
                { tag: "scan", key: Qt.Key_V, call: "execAdditionalScan", args: [] },
                { tag: "search", key: Qt.Key_F, call: "execStationSearch", args: [] },
                { tag: "info", key: Qt.Key_E, call: "execChangeShowChannelInfo", args: [] },
                { tag: "seg type", key: Qt.Key_O, call: "execSegModeChange", args: [] },
                { tag: "epg", key: Qt.Key_W, call: "requestEpgListUpdate", args: [] },
            ]
        }
        function test_keysReachTheEngine(data) {
            keyClick(data.key)
            compare(ISDBtEngine.callsOf(data.call), [data.args])
        }

        function test_longPowerPressDoesNotToggle() {
            keyPress(Qt.Key_P)
            keyPress(Qt.Key_P, Qt.ShiftModifier)
            keyRelease(Qt.Key_P)
            compare(ISDBtEngine.countOf("execPower"), 0)
        }

        function test_volumeKeysStopAtTheLimits() {
            ISDBtData.nAudioLevel = 20
            root.showHideVolumeBar(false)
            keyClick(Qt.Key_BracketRight)
            compare(ISDBtEngine.countOf("execChangeAudioLevel"), 0)
            verify(root.showVolume, "at the maximum the bar only shows")
            ISDBtData.nAudioLevel = 10
            keyClick(Qt.Key_BracketRight)
            keyClick(Qt.Key_BracketLeft)
            compare(ISDBtEngine.callsOf("execChangeAudioLevel"), [[true], [false]])
        }

        function test_scanKeysStopARunningScan() {
            root.playerState = "Scan"
            keyClick(Qt.Key_V)
            compare(ISDBtEngine.callsOf("execStopScan"), [[1]])
            keyClick(Qt.Key_C)
            compare(ISDBtEngine.callsOf("execStopScan"), [[1], [0]])
            root.isRefreshScan = true
            keyClick(Qt.Key_D)
            compare(ISDBtEngine.callsOf("execStopScan"), [[1], [0], [0]], "back stops a refresh scan")
            root.isRefreshScan = false
            root.playerState = "Normal"
        }

        function test_enteringLiveTvShowsBarsByTheSetting_data() {
            return [
                { tag: "banner and status", info: 1, osd: true, status: true },
                { tag: "status only", info: 2, osd: false, status: true },
                { tag: "neither", info: 0, osd: false, status: false },
            ]
        }
        function test_enteringLiveTvShowsBarsByTheSetting(data) {
            ISDBtData.nShowChannelInfo = data.info
            root.setAppMainScreen("ISDBtSetupMain", false)
            verify(!root.showOsd && !root.showStatus)
            root.setAppMainScreen("ISDBtPlayerMain", false)
            compare(root.showOsd, data.osd)
            compare(root.showStatus, data.status)
            compare(Finder.find(root, "statusBar").visible, data.status)
            compare(Finder.find(root, "osd").z, systemInfo.windowZ_statusbar)
        }

        function test_emergencyQuestionSwitchesOnYes() {
            ISDBtEngine.sendEwsReceived(77)
            var popup = Finder.find(root, "systemPopup")
            verify(popup.visible)
            compare(popup.mText, stringInfo.strMsg_SWITCH_EWS_QUESTION_MSG)
            popup.popupBtn01Selected()
            verify(!popup.visible)
            compare(ISDBtEngine.callsOf("startEWS"), [[77]])
        }

        function test_engineMessagesStackInTheToast() {
            ISDBtEngine.sendToastMessage("one")
            ISDBtEngine.sendNotifyMesssage("two")
            ISDBtEngine.sendToastMessage("one")
            var toast = Finder.find(root, "systemToast")
            verify(toast.visible)
            compare(toast.messages, ["one", "two"])
            ISDBtEngine.sendSettingInfoMesssage("setting")
            compare(toast.settingInfoMsg, "setting")
            root.toastTimer.interval = 20
            root.showHideSystemToastPopup(true)
            tryCompare(toast, "visible", false)
            compare(toast.messages, [], "hiding empties the stack")
            root.toastTimer.interval = systemInfo.toastPopupInterval
        }

        function test_firstScanScreenUntilInitialized() {
            ISDBtData.bInitialized = false
            ISDBtEngine.sendPrepared()
            var init = Finder.find(root, "initScreen")
            verify(init.visible)
            compare(init.idx, 1)
            verify(root.bPrepared)
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.countOf("execInitScan"), 1)
            verify(!init.visible)
            ISDBtData.bInitialized = true
        }

        // Whatever shows or hides, the keys go to the topmost overlay that
        // takes them, else to the current screen.
        function test_keysGoToWhatTheViewerSees_data() {
            return [
                { tag: "popup hides over the HDMI question", under: "confirmHdmiMode", over: "systemPopup" },
                { tag: "antenna short ends over the first-scan screen", under: "initScreen", over: "antShort" },
                { tag: "first-scan screen shows under the antenna short", over: "antShort", under: "initScreen",
                  overFirst: true },
            ]
        }
        function showOverlay(name, bShow) {
            switch (name) {
            case "confirmHdmiMode": root.showHideHDMIMode(bShow); break
            case "systemPopup":
                if (bShow) ISDBtEngine.sendEwsReceived(77); else root.showHideSystemPopup(false)
                break
            case "initScreen":
                ISDBtData.bInitialized = !bShow
                if (bShow) ISDBtEngine.sendPrepared(); else root.setISDBtInitVisible(false)
                break
            case "antShort": root.bPrepared = true; ISDBtData.nAntennaState = bShow ? 1 : 0; break
            }
        }
        function test_keysGoToWhatTheViewerSees(data) {
            var under = Finder.find(root, data.under)
            var over = Finder.find(root, data.over)
            if (data.overFirst) {
                showOverlay(data.over, true)
                showOverlay(data.under, true)
                verify(under.visible)
                verify(over.activeFocus, "what shows below does not take the keys")
            } else {
                showOverlay(data.under, true)
                showOverlay(data.over, true)
                verify(over.activeFocus)
                showOverlay(data.over, false)
                verify(!over.visible)
                verify(under.activeFocus, "what stands below takes the keys back")
            }
            showOverlay(data.over, false)
            showOverlay(data.under, false)
            verify(Finder.find(root, "playerMain").activeFocus)
        }

        function test_antennaShortCoversEverything() {
            root.bPrepared = true
            ISDBtData.nAntennaState = 1
            var ant = Finder.find(root, "antShort")
            verify(ant.visible)
            compare(ant.z, systemInfo.windowZ_antShort)
            ISDBtData.nAntennaState = 0
            verify(!ant.visible)
        }
    }
}
