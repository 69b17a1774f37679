import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The live-TV screen inside the root window: its five states, the panels
// each state shows, and the 100 ms tune step of a channel change.
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
    property var player: root ? Finder.find(root, "playerMain") : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "LiveTv"
        when: windowShown && idLoader.status === Loader.Ready

        function initTestCase() {
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 5
            ISDBtData.nSubtitle = 1
        }

        function init() {
            root.gotoMainScreen()
            player.initializeView()
            player.readyToChannelChange = false
            ISDBtEngine.reset()
        }

        function shown(name) { return Finder.find(root, name).visible }

        function test_eachStateShowsItsPanel_data() {
            return [
                { tag: "ChangeChannel", state: "ChangeChannel", panel: "changeChannel" },
                { tag: "RelaySearch", state: "RelaySearch", panel: "relaySearch" },
                { tag: "Scan", state: "Scan", panel: "scan" },
            ]
        }
        function test_eachStateShowsItsPanel(data) {
            player.state = data.state
            compare(root.playerState, data.state)
            var panels = ["changeChannel", "relaySearch", "scan", "weakSignal", "notification"]
            for (var i = 0; i < panels.length; ++i)
                compare(shown(panels[i]), panels[i] === data.panel, panels[i])
            compare(ISDBtEngine.countOf("clearSubtitleImage"), 1, "captions are cleared off Normal")
            compare(player.showMainBg, data.state !== "ChangeChannel")
            compare(root.mainBgShow, player.showMainBg)
        }

        function test_announcementsWithin100msTuneOnce() {
            ISDBtEngine.sendChangeChannel(3, 1, 20, 0, "Three", false, true)
            ISDBtEngine.sendChangeChannel(4, 1, 21, 0, "Four", false, true)
            ISDBtEngine.sendChangeChannel(5, 1, 22, 0, "Five", false, true)
            compare(player.state, "ChangeChannel")
            verify(player.readyToChannelChange)
            verify(shown("changeChannel"))
            compare(ISDBtEngine.countOf("selectNextStation"), 0, "nothing is tuned at the announcement")
            tryVerify(function() { return ISDBtEngine.countOf("selectNextStation") === 1 }, 2000)
            wait(150)
            compare(ISDBtEngine.countOf("selectNextStation"), 1)
            compare(ISDBtEngine.countOf("selectPrevStation"), 0)
            compare(ISDBtEngine.countOf("changeChannel"), 0)
        }

        function test_tuneStepPicksTheRequest_data() {
            return [
                { tag: "previous", prev: true, next: false, lcn: 2, call: "selectPrevStation", args: [] },
                { tag: "number", prev: false, next: false, lcn: 6, call: "changeChannel", args: [6, 2] },
            ]
        }
        function test_tuneStepPicksTheRequest(data) {
            ISDBtEngine.sendChangeChannel(data.lcn, 2, 20, 0, "X", data.prev, data.next)
            tryVerify(function() { return ISDBtEngine.countOf(data.call) === 1 }, 2000)
            compare(ISDBtEngine.callsOf(data.call)[0], data.args)
        }

        function test_refusedTuneReturnsToNormal() {
            ISDBtEngine.results = { selectNextStation: -1 }
            ISDBtEngine.sendChangeChannel(3, 1, 20, 0, "X", false, true)
            tryCompare(player, "state", "Normal", 2000)
            verify(!player.readyToChannelChange)
            ISDBtEngine.sendChangeChannel(3, 1, 20, 0, "X", false, true)
            ISDBtEngine.sendChangeChannelFail()
            compare(player.state, "Normal")
        }

        function test_weakReports() {
            player.state = "ChangeChannel"
            ISDBtEngine.sendSignalWeak(false)
            compare(player.state, "ChangeChannel", "a good report in ChangeChannel changes nothing")
            ISDBtEngine.sendSignalWeak(true)
            compare(player.state, "Weak")
            verify(shown("weakSignal"))
            ISDBtEngine.sendSignalWeak(false)
            compare(player.state, "Normal")
            player.state = "Scan"
            ISDBtEngine.sendSignalWeak(true)
            compare(player.state, "Scan", "a scan is not interrupted")
        }

        function test_returningToNormalResetsTheWeakCount() {
            player.state = "Weak"
            ISDBtEngine.reset()
            ISDBtEngine.sendVideoDefinitionUpdate()
            compare(player.state, "Normal")
            compare(ISDBtEngine.countOf("resetWeakCount"), 1)
        }

        function test_scanProgress() {
            ISDBtEngine.sendStartScan()
            compare(player.state, "Scan")
            verify(root.isScanning)
            compare(Finder.find(root, "scanBand").mFirstText, stringInfo.strApp_ALL_SCAN)
            ISDBtEngine.sendSearchPercent(40)
            compare(player.scanProgress, 40)
            compare(Finder.find(root, "scanPercent").mText, "40 %")
            ISDBtEngine.sendSearchPercent(101)
            compare(player.scanProgress, 0, "above 100 shows 0")
            ISDBtEngine.sendScanComplete()
            compare(player.state, "Normal")
            verify(!root.isScanning)
        }

        function test_progressReportStartsTheScanPanel() {
            ISDBtEngine.sendSearchPercent(10)
            compare(player.state, "Scan")
            compare(player.scanProgress, 10)
            ISDBtEngine.sendStopScan()
            compare(player.state, "Normal")
        }

        function test_initialScanHasNoQuitGuide() {
            ISDBtEngine.sendInitScan()
            verify(!Finder.find(root, "scanQuitText").visible)
            ISDBtEngine.sendRefreshScan()
            verify(root.isRefreshScan)
            verify(Finder.find(root, "scanQuitText").visible)
            ISDBtEngine.sendStopScan()
        }

        function test_stationSearch() {
            ISDBtEngine.sendStartSearch()
            compare(player.state, "RelaySearch")
            ISDBtEngine.sendHandoverChannel(1, 27)
            verify(Finder.find(root, "relaySearch").searchChannel === 27)
            root.isChChangeByRemocon = true
            ISDBtEngine.sendEndSearch(true)
            compare(player.state, "Normal")
            verify(!root.isChChangeByRemocon)
            compare(Finder.find(root, "relaySearch").searchChannel, -1)
        }

        function test_startChannelThenEnd() {
            ISDBtEngine.sendStartChannel(false)
            compare(player.state, "ChangeChannel")
            verify(!player.readyToChannelChange)
            ISDBtEngine.sendStartEndChannel()
            compare(player.state, "Normal")
            verify(root.showBilingual)
        }

        function test_emptyStationListShowsTheScanOffer() {
            ISDBtData.nCurrStationListCnt = 0
            root.bPrepared = true
            verify(shown("notification"))
            verify(Finder.find(root, "scanButton").visible)
            ISDBtData.nCurrStationListCnt = 5
            verify(!shown("notification"))
        }

        // OK on the no-channel advice scans however the advice came to stand:
        // the list may turn out empty only after the screen turned visible.
        function test_okOnTheNoChannelAdviceScans_data() {
            return [
                { tag: "powered on over an empty list", poweredOffFirst: true },
                { tag: "prepared over an empty list", poweredOffFirst: false },
            ]
        }
        function test_okOnTheNoChannelAdviceScans(data) {
            root.bPrepared = false
            ISDBtData.nCurrStationListCnt = 0
            if (data.poweredOffFirst) {
                ISDBtData.bPowerOn = false
                root.bPrepared = true
                verify(shown("notification"), "powered off, the notification stands empty")
                ISDBtData.bPowerOn = true
            } else {
                root.bPrepared = true
            }
            verify(shown("notification"))
            var start = Finder.find(root, "scanButton")
            verify(start.activeFocus, "the Start button has the keys")
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.countOf("execScan"), 1)

            // With stations the advice goes, and so does its hold on the keys.
            ISDBtData.nCurrStationListCnt = 5
            verify(!shown("notification"))
            verify(player.activeFocus)
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.countOf("execScan"), 1, "OK on live TV scans nothing")
        }

        function test_emergencyToast() {
            ISDBtEngine.sendEwsNotifyMessage("alert")
            verify(player.ewsShowMassage)
            verify(shown("ewsToast"))
            player.hideEwsToastPopup()
            verify(!player.ewsShowMassage)
        }
    }
}
