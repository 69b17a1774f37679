import QtQuick 2.6
import "../../Base"

// Live-TV screen: what the playback state needs over the video (the video
// itself is drawn by the player below the transparent window). It is also
// the second step of every channel change: 100 ms after the engine announces
// the target, it asks the engine to tune, so that key presses within that
// time only move the target.
BaseComponent {
    id: idPlayerMain

    property bool touchEnable: true
    property int scanProgress: 0
    property bool weakSignal: false
    property bool readyToChannelChange: false
    property bool showMassage: false
    property bool ewsShowMassage: false
    property string msg01: ""
    property string msg02: ""
    property int changeChLcn: 0
    property int changeChSub: 0
    property bool changeChPrev: false
    property bool changeChNext: false
    readonly property bool showMainBg: idNotification.visible || idRelaySearch.visible || idScan.visible

    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight
    focus: true
    mTouchEnable: touchEnable
    state: "Normal"
    states: [
        State { name: "Normal" },
        State { name: "Weak" },
        State { name: "ChangeChannel" },
        State { name: "RelaySearch" },
        State { name: "Scan" }
    ]

    function initializeView() {
        state = "Normal"
    }
    function showToastPopup() {
        showMassage = true
        idToastTimer.restart()
    }
    function hideToastPopup() {
        showMassage = false
        idToastTimer.stop()
        idToast.clear()
    }
    function showEwsToastPopup() {
        hideToastPopup()
        ewsShowMassage = true
        idEwsToastTimer.restart()
    }
    function hideEwsToastPopup() {
        ewsShowMassage = false
        idEwsToastTimer.stop()
    }
    function hideChannelChangeToastPopup() {
        if (state === "ChangeChannel")
            state = "Normal"
    }

    // Bars out of the way while a scan or a search fills the screen.
    function hideBarsForPanel() {
        idAppMain.showHideClockBar(false)
        idAppMain.showHideOsdBar(false, true)
        idAppMain.showHideBilingual(false)
        idAppMain.showHideStatusBar(false, true)
    }
    function startScanState(title, refresh) {
        idAppMain.isScanning = true
        idAppMain.isRefreshScan = refresh
        hideBarsForPanel()
        idScan.scanTitle = title
        idScan.isInitialScan = title === stringInfo.strApp_HOME_INITIAL_SCAN
        idScan.isRefreshScan = refresh
        scanProgress = 0
        weakSignal = false
        state = "Scan"
    }
    function endScanState() {
        idAppMain.isScanning = false
        idAppMain.showHideClockBar(true)
        idAppMain.showHideStatusBar(true, false)
        state = "Normal"
    }
    function endSearchState(barsForced) {
        idAppMain.showHideClockBar(true)
        idAppMain.showHideStatusBar(true, barsForced)
        idAppMain.showHideOsdBar(true, barsForced)
        idAppMain.showHideBilingual(true)
        idRelaySearch.clearText()
        idWeakSignal.switching = false
        state = "Normal"
        idAppMain.isChChangeByRemocon = false
    }

    // The tune step of a channel change.
    function tuneChannel() {
        var result = 0
        if (changeChPrev)
            result = ISDBtEngine.selectPrevStation()
        else if (changeChNext)
            result = ISDBtEngine.selectNextStation()
        else if (changeChLcn > 0)
            result = ISDBtEngine.changeChannel(changeChLcn, changeChSub)
        if (result < 0) {
            readyToChannelChange = false
            state = "Normal"
        }
    }

    onStateChanged: {
        idAppMain.playerState = state
        if (ISDBtData.nSubtitle !== 0 && state !== "Normal")
            ISDBtEngine.clearSubtitleImage()
        if (state === "Normal")
            ISDBtEngine.resetWeakCount()
    }
    onShowMainBgChanged: idAppMain.showHideMainBgPlayerMain(showMainBg)
    onMouseClicked: if (!idRelaySearch.visible && !idScan.visible) idAppMain.showHideDATouch(true)

    Connections {
        target: ISDBtEngine

        function onSendInitScan() { idPlayerMain.startScanState(stringInfo.strApp_HOME_INITIAL_SCAN, false) }
        function onSendRefreshScan() { idPlayerMain.startScanState(stringInfo.strApp_HOME_LIST_REFRESH_SCAN, true) }
        function onSendStartScan() { idPlayerMain.startScanState(stringInfo.strApp_ALL_SCAN, false) }
        function onSendAdditionalScan() { idPlayerMain.startScanState(stringInfo.strApp_ADDITIONAL_SCAN, false) }
        function onSendSearchPercent(percent) {
            if (idAppMain.playerState !== "Scan") {
                idAppMain.isScanning = true
                idPlayerMain.hideBarsForPanel()
                idPlayerMain.state = "Scan"
            }
            idPlayerMain.scanProgress = percent > 100 ? 0 : percent
        }
        function onSendScanComplete() {
            idPlayerMain.endScanState()
            if (!idAppMain.bFactoryShow)
                idAppMain.focusCurrentScreen()
        }
        function onSendStopScan() { idPlayerMain.endScanState() }
        function onSendChangeChannel(lcn, subChannel, chNum, threeDigitNum, chName, prev, next) {
            idAppMain.isScanning = false
            idAppMain.showHideOsdBar(false, true)
            idAppMain.showHideBilingual(false)
            idAppMain.showHideSystemToastPopup(false)
            idAppMain.bPrepared = true
            idPlayerMain.weakSignal = false
            idPlayerMain.readyToChannelChange = true
            idPlayerMain.changeChLcn = lcn
            idPlayerMain.changeChSub = subChannel
            idPlayerMain.changeChPrev = prev
            idPlayerMain.changeChNext = next
            idChangeChannel.lcn = lcn
            idChangeChannel.threeDigitNum = threeDigitNum
            idChangeChannel.chName = chName
            idPlayerMain.state = "ChangeChannel"
            idTuneTimer.restart()
        }
        function onSendChangeChannelFail() {
            idPlayerMain.readyToChannelChange = false
            idPlayerMain.state = "Normal"
        }
        function onSendStartChannel(bEventRelay) {
            idAppMain.showHideOsdBar(false, true)
            idAppMain.showHideBilingual(false)
            idAppMain.bPrepared = true
            idPlayerMain.weakSignal = false
            idAppMain.showHideStatusBar(true, true)
            idPlayerMain.readyToChannelChange = false
            idChangeChannel.lcn = ISDBtData.nCurrRemoconID
            idChangeChannel.threeDigitNum = ISDBtData.nCurrThreeDigitNumber
            idChangeChannel.chName = ISDBtData.sCurrChName
            idPlayerMain.state = "ChangeChannel"
        }
        function onSendStartEndChannel() {
            idAppMain.showHideBilingual(true)
            idAppMain.showHideOsdBar(true, idAppMain.isChChangeByRemocon)
            idAppMain.showHideStatusBar(true, idAppMain.isChChangeByRemocon)
            idPlayerMain.state = "Normal"
            idAppMain.isChChangeByRemocon = false
        }
        function onSendSignalWeak(bWeak) {
            idPlayerMain.weakSignal = bWeak
            if (bWeak) {
                if (idPlayerMain.state === "ChangeChannel" || idPlayerMain.state === "Normal")
                    idPlayerMain.state = "Weak"
            } else if (idPlayerMain.state === "Weak") {
                idPlayerMain.state = "Normal"
            }
        }
        function onSendVideoDefinitionUpdate() {
            idPlayerMain.weakSignal = false
            idPlayerMain.state = "Normal"
        }
        function onSendStartSearch() {
            idPlayerMain.hideBarsForPanel()
            idAppMain.showHideDATouch(false)
            idPlayerMain.state = "RelaySearch"
        }
        function onSendEndSearch(bResult) { idPlayerMain.endSearchState(idAppMain.isChChangeByRemocon) }
        function onSendStopSearch() { idPlayerMain.endSearchState(!idAppMain.isChChangeByRemocon) }
        function onSendHandoverChannel(type, chNum) {
            idRelaySearch.searchType = type
            idRelaySearch.searchChannel = chNum
        }
        function onSendStartSearch2TS() { if (idPlayerMain.state === "Weak") idWeakSignal.switching = true }
        function onSendHandoverResult(result) { idWeakSignal.switching = false }
        function onSendEwsNotifyMessage(msg) {
            idEwsToast.msg = msg
            idPlayerMain.showEwsToastPopup()
        }
    }

    Timer {
        id: idTuneTimer
        interval: 100
        onTriggered: idPlayerMain.tuneChannel()
    }
    Timer {
        id: idToastTimer
        interval: systemInfo.toastPopupInterval
        onTriggered: idPlayerMain.hideToastPopup()
    }
    Timer {
        id: idEwsToastTimer
        interval: systemInfo.ewsToastPopupInterval
        onTriggered: idPlayerMain.hideEwsToastPopup()
    }

    Item {
        id: idContent
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        width: systemInfo.mainWidth
        height: systemInfo.mainHeight
        visible: idAppMain.state === "ISDBtPlayerMain"

        ISDBtPlayerNotification {
            id: idNotification
            objectName: "notification"
            anchors.fill: parent
            visible: (idPlayerMain.state === "Normal" || idPlayerMain.state === "Weak") && idAppMain.notificationVisible
            idAppMainProxy: QtObject {
                property bool powerOn: idAppMain.bPowerOn
                property bool prepared: idAppMain.bPrepared
                property int stationCount: idAppMain.stationListCount
            }
        }
        ISDBtPlayerWeakSignal {
            id: idWeakSignal
            objectName: "weakSignal"
            anchors.fill: parent
            visible: idPlayerMain.state === "Weak" && !idNotification.visible && idPlayerMain.weakSignal
        }
        ISDBtPlayerChangeChannel {
            id: idChangeChannel
            objectName: "changeChannel"
            anchors.fill: parent
            visible: idPlayerMain.state === "ChangeChannel"
            readyToChannelChange: idPlayerMain.readyToChannelChange
            onTouchPanelRequested: {
                if (idAppMain.showDATouch)
                    idAppMain.showHideDATouch(false)
                else if (!idPlayerMain.readyToChannelChange)
                    idAppMain.showHideDATouch(true)
            }
        }
        ISDBtPlayerRelaySearch {
            id: idRelaySearch
            objectName: "relaySearch"
            anchors.fill: parent
            visible: idPlayerMain.state === "RelaySearch"
        }
        ISDBtPlayerScan {
            id: idScan
            objectName: "scan"
            anchors.fill: parent
            visible: idPlayerMain.state === "Scan"
            percent: idPlayerMain.scanProgress
        }
        ISDBtPlayerToastPopup {
            id: idToast
            objectName: "playerToast"
            anchors.fill: parent
            visible: idPlayerMain.showMassage
            onSwitchingChanged: idAppMain.chSwitching = bOn
            onHideRequested: idPlayerMain.hideToastPopup()
        }
        ISDBtPlayerEWSToastPopup {
            id: idEwsToast
            objectName: "ewsToast"
            anchors.fill: parent
            visible: idPlayerMain.ewsShowMassage
            onHideRequested: idPlayerMain.hideEwsToastPopup()
        }
    }
}
