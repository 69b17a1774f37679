import QtQuick 2.6
import QtQuick.Window 2.2
import "Base" as Base
import "Common"
import "App" as App
import "App/Player" as AppPlayer
import "App/StationList" as AppStationList
import "App/EpgList" as AppEpgList
import "App/Setup" as AppSetup

// Root window: the screen state machine (its state is the current screen's
// name, reported to the engine), the overlays in their stacking order, the
// show and hide timers of the bars and popups, and the routing of the remote
// keys that the base item decodes to the engine.
Base.BaseMain {
    id: idAppMain
    width: DEVICE_WIDTH
    height: DEVICE_HEIGHT
    focus: true

    readonly property var screenNames: ["ISDBtPlayerMain", "ISDBtStationListMain", "ISDBtEpgListMain",
                                        "ISDBtEpgDetailMain", "ISDBtDaySettingMain", "ISDBtSetupMain"]

    property string selectedMainScreen: "ISDBtPlayerMain"
    property string currentDateTime: ISDBtData.sCurrStrDate + " " + ISDBtData.sCurrStrTime
    property int channelListCount: ISDBtData.nCurrChannelListCnt
    property int stationListCount: ISDBtData.nCurrStationListCnt
    property int epgListCount: ISDBtData.nCurrEpgListCnt
    property string playerState: "Normal"
    property bool bPowerOn: ISDBtData.bPowerOn
    property bool bAvRenderOn: ISDBtData.bAvRenderOn
    property bool bPrepared: false
    property bool bEngInfoShow: false
    property bool bEngThresholdMode: false
    property bool bFactoryShow: false
    property bool showStatus: false
    property bool showOsd: false
    property bool showVolume: false
    property bool showBilingual: false
    property bool showDATouch: false
    property bool showClock: true
    property string beforeBilingualText: ""
    property bool hdmiModeShow: false
    property bool showSystemPopup: false
    property bool showSystemToastPopup: false
    property bool hdmiCautionVisible: false
    property bool isLogSaveMode: false
    property bool epgGethering: false
    property bool isScanning: false
    property bool isRefreshScan: false
    property bool chSwitching: false
    property bool antShortTest: false
    property bool isChChangeByRemocon: true
    property int epgBackupIndex: 0
    // Text of the programme-details screen.
    property string epgDetail: ""
    property bool mainBgShow: true
    property bool isMainBgOpacity: false

    readonly property bool bDisableOsdStatusBar: state !== "ISDBtPlayerMain" || playerState === "Scan"
                                                 || playerState === "RelaySearch" || stationListCount <= 0
    readonly property bool bDisableClockBar: bDisableOsdStatusBar || chSwitching
    readonly property bool bDisableVolumeBar: playerState === "Scan" || playerState === "RelaySearch"
                                              || stationListCount <= 0 || chSwitching
    readonly property bool notificationVisible: bPrepared && (!bPowerOn || stationListCount <= 0)
    readonly property bool subtitleVisible: ISDBtData.nSubtitle !== 0 && playerState === "Normal" && !idPlayerMain.showMainBg
    readonly property bool mainBgVisible: mainBgShow || notificationVisible || !bPowerOn || !bAvRenderOn
    readonly property int mainBgZorder: !bPowerOn || !bAvRenderOn ? systemInfo.windowZ_max : systemInfo.windowZ_base
    readonly property bool antShortVisible: ISDBtData.nAntennaState !== 0 && bPrepared && !bFactoryShow
    readonly property bool preparingVisible: !bPrepared && ISDBtData.bPowerOn
    readonly property bool initVisible: !ISDBtData.bInitialized && !bFactoryShow

    // The timers whose runs the screens and tests look at.
    readonly property QtObject backToPlayerTimer: idBackToPlayerTimer
    readonly property QtObject toastTimer: idToastTimer

    signal mainStateChanged()
    signal hideLocalPopup()
    signal showNotifyMessage(string msg)
    signal showConfirmLogCopyMsg()

    states: [
        State { name: "ISDBtPlayerMain" },
        State { name: "ISDBtStationListMain" },
        State { name: "ISDBtEpgListMain" },
        State { name: "ISDBtEpgDetailMain" },
        State { name: "ISDBtDaySettingMain" },
        State { name: "ISDBtSetupMain" }
    ]

    StringInfo { id: stringInfo }

    // --- screens ---

    function checkMainScreen(nextScreen) {
        return nextScreen !== state && screenNames.indexOf(nextScreen) >= 0
    }
    function screenItem(name) {
        switch (name) {
        case "ISDBtPlayerMain": return idPlayerMain
        case "ISDBtStationListMain": return idStationList
        case "ISDBtEpgListMain": return idEpgList
        case "ISDBtSetupMain": return idSetup
        case "ISDBtEpgDetailMain": return idEpgDetailLoader.item
        case "ISDBtDaySettingMain": return idDaySettingLoader.item
        }
        return null
    }
    function currentStateID() {
        var item = screenItem(state)
        return item ? item : ""
    }
    function hideScreen(name, nextScreen) {
        switch (name) {
        case "ISDBtPlayerMain": idPlayerMain.visible = false; break
        case "ISDBtStationListMain": idStationList.visible = false; break
        case "ISDBtSetupMain": idSetup.visible = false; break
        case "ISDBtEpgListMain":
            idEpgList.visible = false
            if (nextScreen !== "ISDBtEpgDetailMain" && nextScreen !== "ISDBtDaySettingMain")
                epgBackupIndex = 0
            break
        case "ISDBtEpgDetailMain": idEpgDetailLoader.source = ""; break
        case "ISDBtDaySettingMain": idDaySettingLoader.source = ""; break
        }
    }
    function showScreen(name) {
        if (name === "ISDBtEpgDetailMain" && idEpgDetailLoader.source == "")
            idEpgDetailLoader.source = "App/EpgDetail/ISDBtEpgDetailMain.qml"
        if (name === "ISDBtDaySettingMain" && idDaySettingLoader.source == "")
            idDaySettingLoader.source = "App/DaySetting/ISDBtDaySettingMain.qml"
        var item = screenItem(name)
        if (item)
            item.visible = true
        focusCurrentScreen()
        startStopBackToPlayerScreenTimer(name !== "ISDBtPlayerMain")
    }
    function setAppMainScreen(mainScreen, saveScreen) {
        if (mainScreen === state)
            return
        if (screenNames.indexOf(mainScreen) < 0)
            mainScreen = "ISDBtPlayerMain"
        if (mainScreen === state)
            return
        if (saveScreen && state !== "")
            ISDBtEngine.pushScreen(state)
        hideScreen(state, mainScreen)
        state = mainScreen
        showScreen(mainScreen)
    }
    function backKeyProcessing() {
        var screen = ISDBtEngine.popScreen()
        if (!screen)
            gotoMainScreen()
        else
            setAppMainScreen(screen, false)
    }
    function gotoMainScreen() {
        closeOtherScreen()
        if (state === "")
            return
        // Unwinds the screen stack; an empty stack lands on live TV.
        for (var guard = 0; state !== "ISDBtPlayerMain" && guard < 16; ++guard) {
            var screen = ISDBtEngine.popScreen()
            setAppMainScreen(screen ? screen : "ISDBtPlayerMain", false)
        }
        if (state !== "ISDBtPlayerMain")
            setAppMainScreen("ISDBtPlayerMain", false)
        if (selectedMainScreen !== "ISDBtPlayerMain") {
            var next = selectedMainScreen
            selectedMainScreen = "ISDBtPlayerMain"
            setAppMainScreen(next, true)
        }
        if (!bFactoryShow) {
            if (!ISDBtData.bInitialized)
                setISDBtInitVisible(initVisible)
        } else if (idFactoryLoader.item) {
            idFactoryLoader.item.forceActiveFocus()
        }
    }
    function closeOtherScreen() {
        if (systemInfo.isQM_NRV2Z_MAX && hdmiModeShow)
            showHideHDMIMode(false)
    }
    function initializeView() {
        isLogSaveMode = false
        epgGethering = false
        isScanning = false
        epgBackupIndex = 0
        isChChangeByRemocon = true
        gotoMainScreen()
        idPlayerMain.initializeView()
    }
    function setISDBtInitVisible(bShow) {
        idInit.visible = bShow
        if (bShow || idInit.activeFocus)
            focusCurrentScreen()
    }
    // What the viewer sees takes the keys: the topmost shown overlay of those
    // that take them, else the current screen. Every overlay that shows or
    // hides calls it, so that one showing below another takes nothing and one
    // hiding hands the keys to what stands below it.
    function shownFocusItem() {
        if (bFactoryShow && idFactoryLoader.item)
            return idFactoryLoader.item
        if (bEngInfoShow && idEngLoader.item)
            return idEngLoader.item
        if (antShortVisible)
            return idAntShort
        if (idInit.visible)
            return idInit
        if (hdmiCautionVisible)
            return idHdmiCaution
        if (showSystemPopup)
            return idSystemPopup
        if (hdmiModeShow)
            return idConfirmHdmi
        return screenItem(state)
    }
    function focusCurrentScreen() {
        var item = shownFocusItem()
        if (item)
            item.forceActiveFocus()
        else
            idAppMain.forceActiveFocus()
    }

    onStateChanged: {
        var item = screenItem(state)
        if (item)
            item.visible = true
        focusCurrentScreen()
        showHideEngInfo(false)
        ISDBtEngine.setMainState(state)
        if (state === "ISDBtPlayerMain") {
            mainStateChanged()
            mainBgShow = false
            setOsdStatusBarOrder(true)
            isMainBgOpacity = false
            if (ISDBtData.nShowChannelInfo === 1) {
                showHideOsdBar(true, true)
                showHideStatusBar(true, true)
            } else if (ISDBtData.nShowChannelInfo === 2) {
                showHideStatusBar(true, true)
            }
            if (ISDBtData.nShowTime === 2)
                showHideClockBar(true)
        } else {
            setOsdStatusBarOrder(false)
            showHideOsdBar(false, true)
            showHideStatusBar(false, true)
            showHideClockBar(false)
        }
    }

    // --- bars and popups ---

    function getOsdMaxWidth() {
        return systemInfo.mainWidth - idStatusBar.width - systemInfo.sbIconHSpace
    }
    function showHideOsdBar(bShow, bForced) {
        if (bShow && !bForced && ISDBtData.nShowChannelInfo !== 1)
            bShow = false
        showOsd = bShow
        if (bShow) idOsdTimer.restart(); else idOsdTimer.stop()
    }
    function showHideStatusBar(bShow, bForced) {
        if (bShow && !bForced && ISDBtData.nShowChannelInfo === 0)
            bShow = false
        showStatus = bShow
        if (bShow) idStatusTimer.restart(); else idStatusTimer.stop()
    }
    function showHideVolumeBar(bShow) {
        showVolume = bShow
        if (bShow) idVolumeTimer.restart(); else idVolumeTimer.stop()
    }
    function showHideBilingual(bShow) {
        showBilingual = bShow
        if (bShow) idBilingualTimer.restart(); else idBilingualTimer.stop()
    }
    function showHideClockBar(bShow) { showClock = bShow }
    function stopVolumeBarTimer() { idVolumeTimer.stop() }
    function stopStatusBarTimer() { idStatusTimer.stop() }
    function stopOsdBarTimer() { idOsdTimer.stop() }
    function startStopBackToPlayerScreenTimer(bStart) {
        if (bStart) idBackToPlayerTimer.restart(); else idBackToPlayerTimer.stop()
    }
    function setOsdStatusBarOrder(bUp) {
        idStatusBar.z = bUp ? systemInfo.windowZ_statusbar : -1
        idOsd.z = bUp ? systemInfo.windowZ_statusbar : -1
    }
    function showHideMainBgPlayerMain(bShow) { mainBgShow = bShow }
    function showHideEpgDetail(bShow) {
        if (bShow) setAppMainScreen("ISDBtEpgDetailMain", true); else backKeyProcessing()
    }
    function showHideDaySetting(bShow) {
        if (bShow) setAppMainScreen("ISDBtDaySettingMain", true); else backKeyProcessing()
    }
    function showHideHDMIMode(bShow) {
        hdmiModeShow = bShow
        focusCurrentScreen()
    }
    function showHideSystemPopup(bShow) {
        if (bShow) {
            if (showSystemPopup)
                return
            hideLocalPopup()
            showSystemPopup = true
            focusCurrentScreen()
            idSystemPopupTimer.restart()
            idBackToPlayerTimer.stop()
        } else {
            showSystemPopup = false
            idSystemPopupTimer.stop()
            focusCurrentScreen()
            if (state !== "ISDBtPlayerMain")
                idBackToPlayerTimer.restart()
        }
    }
    function showHideSystemToastPopup(bShow) {
        showSystemToastPopup = bShow
        if (bShow) idToastTimer.restart(); else idToastTimer.stop()
    }
    function showSystemNotifyMessage(msg) {
        if (idSystemToast.setMsg(msg))
            showHideSystemToastPopup(true)
    }
    function showHideDATouch(bShow) {
        if (!systemInfo.isVEK_R410)
            return
        showDATouch = bShow
        if (bShow) {
            idDATouchTimer.restart()
        } else {
            idDATouchTimer.stop()
            if (bFactoryShow && idFactoryLoader.item)
                idFactoryLoader.item.forceActiveFocus()
        }
    }
    function showHideHdmiCaution(bShow) {
        if (!systemInfo.isVEK_R410)
            return
        hdmiCautionVisible = bShow
        if (bShow)
            idHdmiCautionTimer.restart()
        else
            idHdmiCautionTimer.stop()
        focusCurrentScreen()
    }
    function showHideEngInfo(bShow) {
        var wasShown = bEngInfoShow
        bEngInfoShow = bShow
        idEngLoader.source = bShow ? "Eng/EngMain.qml" : ""
        if (bShow) {
            focusCurrentScreen()
        } else {
            bEngThresholdMode = false
            if (wasShown)
                focusCurrentScreen()
        }
    }
    function showHideFactory(bShow) {
        bFactoryShow = bShow
        idFactoryLoader.source = bShow ? "Factory/FactoryMain.qml" : ""
        if (bShow && idFactoryLoader.item)
            idFactoryLoader.item.forceActiveFocus()
    }

    onBEngInfoShowChanged: ISDBtEngine.setEngScreenStatus(bEngInfoShow)
    onBAvRenderOnChanged: {
        if (bAvRenderOn) {
            if (!systemInfo.isQM_NRV2Z_MAX) {
                showHideOsdBar(true, false)
                showHideStatusBar(true, false)
            }
        } else {
            showHideOsdBar(false, true)
            showHideStatusBar(false, true)
        }
    }
    onInitVisibleChanged: if (!initVisible) setISDBtInitVisible(false)
    onAntShortVisibleChanged: {
        if (antShortVisible)
            showHideDATouch(false)
        focusCurrentScreen()
    }

    // --- keys ---

    function isLiveTv() { return state === "ISDBtPlayerMain" }
    function changeVolume(bUp) {
        if (bUp ? ISDBtData.nAudioLevel < systemInfo.maxVolume : ISDBtData.nAudioLevel > 0)
            ISDBtEngine.execChangeAudioLevel(bUp)
        else
            showHideVolumeBar(true)
    }

    onAnyKeyPressed: {
        if (hdmiCautionVisible || idHdmiCautionTimer.running)
            showHideHdmiCaution(false)
        if (isLong)
            idBackToPlayerTimer.stop()
    }
    onAnyKeyReleased: {
        if (!isLiveTv() && (idBackToPlayerTimer.running || isLongKey))
            idBackToPlayerTimer.restart()
    }
    onOkPressed: {
        if (bFactoryShow)
            return
        if (!ISDBtData.bInitialized && ISDBtData.bPowerOn) {
            ISDBtEngine.execInitScan()
            setISDBtInitVisible(false)
        }
    }
    onBackPressed: {
        if (bEngInfoShow)
            showHideEngInfo(false)
        if (playerState === "Scan" && isRefreshScan) {
            closeOtherScreen()
            isChChangeByRemocon = true
            ISDBtEngine.execStopScan(0)
        }
    }
    onHomeListPressed: {
        closeOtherScreen()
        isChChangeByRemocon = true
        ISDBtEngine.execHomeList()
    }
    onNumberPressed: {
        closeOtherScreen()
        if (state === "ISDBtEpgDetailMain")
            return
        if (isLogSaveMode) {
            if (number === 1)
                showConfirmLogCopyMsg()
            else
                isLogSaveMode = false
            return
        }
        if (ISDBtEngine.getCountOfRemoconID(number) <= 0) {
            idPlayerMain.hideChannelChangeToastPopup()
            showSystemNotifyMessage(stringInfo.strMsg_NO_ASSIGNED_CHANNEL_MSG)
            return
        }
        var subChannel = 1
        if (number === ISDBtData.nCurrRemoconID) {
            subChannel = ISDBtEngine.findAvailableOtherSubChannel(number, ISDBtData.nCurrDispSubChannel)
            if (subChannel <= 0) {
                isChChangeByRemocon = false
                showHideOsdBar(true, true)
                showHideStatusBar(true, true)
                return
            }
        }
        if (!systemInfo.isQM_NRV2Z_MAX)
            gotoMainScreen()
        isChChangeByRemocon = true
        ISDBtEngine.execChangeChannel(number, subChannel)
    }
    onAllScanPressed: {
        if (playerState === "Scan" && isRefreshScan)
            return
        closeOtherScreen()
        if (!isKeyDown(Qt.Key_C))
            return
        isChChangeByRemocon = true
        if (playerState === "Scan") {
            ISDBtEngine.execStopScan(0)
        } else {
            gotoMainScreen()
            ISDBtEngine.execScan()
        }
    }
    onScanPressed: {
        closeOtherScreen()
        if (!isKeyDown(Qt.Key_V))
            return
        if (playerState === "Scan") {
            ISDBtEngine.execStopScan(1)
        } else {
            gotoMainScreen()
            ISDBtEngine.execAdditionalScan()
        }
    }
    onSearchPressed: {
        closeOtherScreen()
        if (!isKeyDown(Qt.Key_F))
            return
        if (playerState === "RelaySearch")
            ISDBtEngine.execStopSearch()
        else if (isLiveTv() && playerState !== "Scan" && playerState !== "ChangeChannel")
            ISDBtEngine.execStationSearch()
    }
    onPowerReleased: {
        closeOtherScreen()
        ISDBtEngine.execPower()
    }
    onChInfoPressed: {
        if (!isLiveTv())
            return
        closeOtherScreen()
        stopOsdBarTimer()
        ISDBtEngine.execChangeShowChannelInfo()
    }
    onBilingualPressed: {
        closeOtherScreen()
        ISDBtEngine.execBilingualChange()
    }
    onChListPressed: {
        if (state === "ISDBtStationListMain") {
            gotoMainScreen()
            return
        }
        gotoMainScreen()
        if (stationListCount > 0)
            setAppMainScreen("ISDBtStationListMain", true)
    }
    onEpgPressed: {
        if (systemInfo.isVEK_R410 && state === "ISDBtStationListMain")
            return
        if (state === "ISDBtEpgListMain") {
            gotoMainScreen()
            return
        }
        gotoMainScreen()
        epgGethering = true
        ISDBtEngine.requestEpgListUpdate()
        setAppMainScreen("ISDBtEpgListMain", true)
    }
    onMenuPressed: {
        if (state === "ISDBtSetupMain") {
            gotoMainScreen()
            return
        }
        gotoMainScreen()
        setAppMainScreen("ISDBtSetupMain", true)
    }
    onMutePressed: ISDBtEngine.execChangeAudioMute()
    function channelStep(bNext, key) {
        closeOtherScreen()
        if (!isKeyDown(key))
            return
        if (stationListCount > 1)
            isChChangeByRemocon = true
        if (!systemInfo.isQM_NRV2Z_MAX)
            gotoMainScreen()
        bNext ? ISDBtEngine.execNextChannel() : ISDBtEngine.execPrevChannel()
    }
    onChannelUpPressed: channelStep(true, Qt.Key_PageUp)
    onChannelDownPressed: channelStep(false, Qt.Key_PageDown)
    function channelLongStep(bNext) {
        closeOtherScreen()
        if (stationListCount > 1)
            isChChangeByRemocon = true
        if (systemInfo.isQM_NRV2Z_MAX)
            bNext ? ISDBtEngine.execNextChannel() : ISDBtEngine.execPrevChannel()
    }
    onChannelUpLongKeyPressed: channelLongStep(true)
    onChannelDownLongKeyPressed: channelLongStep(false)
    onVolumeUpReleased: changeVolume(true)
    onVolumeUpLongKeyPressed: changeVolume(true)
    onVolumeDownReleased: changeVolume(false)
    onVolumeDownLongKeyPressed: changeVolume(false)
    onSegTypeReleased: {
        closeOtherScreen()
        if (systemInfo.isQM_NRV2Z_MAX)
            ISDBtEngine.execSegModeChange()
    }
    onSegTypeLongKeyPressed: if (!systemInfo.isQM_NRV2Z_MAX) ISDBtEngine.execSegModeChange()
    onHdmiReleased: {
        closeOtherScreen()
        if (bEngInfoShow)
            bEngThresholdMode = !bEngThresholdMode
    }
    onHdmiLongKeyPressed: {
        if (systemInfo.isVEK_R410) {
            ISDBtEngine.checkCurrentHdmiResolution()
            if (ISDBtEngine.checkAvailableHdmiResolution())
                ISDBtEngine.changeHDMIMode()
            else
                showHideHdmiCaution(true)
            return
        }
        if (!hdmiModeShow) {
            gotoMainScreen()
            showHideHDMIMode(ISDBtEngine.checkDispCable() === 2)
        } else {
            showHideHDMIMode(false)
        }
    }

    // --- engine and settings signals ---

    Connections {
        target: ISDBtEngine
        function onSendPrepared() {
            idInit.idx = idInit.idx >= 9 ? 0 : idInit.idx + 1
            idAppMain.bPrepared = true
            idAppMain.setISDBtInitVisible(idAppMain.initVisible)
        }
        function onSendPowerOn() { idAppMain.initializeView() }
        function onSendPowerOff() { idAppMain.setISDBtInitVisible(false) }
        function onSendGoToMainScreen() {
            idAppMain.showHideDATouch(false)
            idAppMain.gotoMainScreen()
        }
        function onSendSubtitleUpdate() { idSubtitle.updateSubtitle() }
        function onSendEnterEpgScreen() {
            idAppMain.gotoMainScreen()
            idAppMain.setAppMainScreen("ISDBtEpgListMain", true)
        }
        function onSendExitEpgScreen() { idAppMain.gotoMainScreen() }
        function onSendSetShowOSD(isOn) {
            idAppMain.isChChangeByRemocon = false
            idAppMain.showHideOsdBar(isOn, true)
            idAppMain.showHideStatusBar(isOn, true)
        }
        function onSendEnterEngMode() {
            idAppMain.gotoMainScreen()
            idAppMain.showHideEngInfo(true)
        }
        function onSendExitEngMode() { idAppMain.showHideEngInfo(false) }
        function onSendEnterFactoryMode() { idAppMain.showHideFactory(true) }
        function onSendEwsReceived(serviceId) {
            idSystemPopup.popupID = stringInfo.strMsg_SWITCH_EWS_QUESTION_MSG
            idSystemPopup.ewsServiceID = serviceId
            idAppMain.showHideSystemPopup(true)
        }
        function onSendToastMessage(msg) { idAppMain.showSystemNotifyMessage(msg) }
        function onSendAlertKeyBlock(msg) { idAppMain.showSystemNotifyMessage(msg) }
        function onSendNotifyMesssage(msg) { idAppMain.showSystemNotifyMessage(msg) }
        function onSendSettingInfoMesssage(msg) {
            if (idSystemToast.setSettingInfoMsg(msg))
                idAppMain.showHideSystemToastPopup(true)
        }
        function onSendStartSearch2TS() {
            if (idAppMain.playerState !== "Weak" && idSystemToast.setSwitchingMsg(stringInfo.strMsg_CHANNEL_SWITCHING))
                idAppMain.showHideSystemToastPopup(true)
        }
        function onNotifyBilingualTextChanged(sVal) {
            if (sVal !== "" && sVal !== idAppMain.beforeBilingualText)
                idAppMain.showHideBilingual(true)
            idAppMain.beforeBilingualText = sVal
        }
        function onSendShowHideDATouch(bShow) { idAppMain.showHideDATouch(bShow) }
        function onSendSteeringTrackUp() {
            idAppMain.gotoMainScreen()
            ISDBtEngine.execNextChannel()
        }
        function onSendSteeringTrackDown() {
            idAppMain.gotoMainScreen()
            ISDBtEngine.execPrevChannel()
        }
    }
    Connections {
        target: ISDBtData
        function onNotifyAudioLevelChanged(nVal) { idAppMain.showHideVolumeBar(true) }
        function onNotifyAudioMuteChanged(bVal) { idAppMain.showHideVolumeBar(true) }
        function onNotifyShowChannelInfoChanged(nVal) {
            idAppMain.showHideOsdBar(nVal === 1, true)
            idAppMain.showHideStatusBar(nVal === 1 || nVal === 2, true)
        }
    }

    // --- timers ---

    Timer { id: idOsdTimer; interval: systemInfo.showBarInterval
            onTriggered: if (ISDBtData.nShowChannelInfo !== 1) idAppMain.showOsd = false }
    Timer { id: idStatusTimer; interval: systemInfo.showBarInterval
            onTriggered: if (ISDBtData.nShowChannelInfo === 0) idAppMain.showStatus = false }
    Timer { id: idVolumeTimer; interval: systemInfo.showBarInterval; onTriggered: idAppMain.showVolume = false }
    Timer { id: idBilingualTimer; interval: systemInfo.showBarInterval; onTriggered: idAppMain.showBilingual = false }
    Timer { id: idSystemPopupTimer; interval: systemInfo.systemPopupInterval
            onTriggered: idAppMain.showHideSystemPopup(false) }
    Timer { id: idBackToPlayerTimer; interval: systemInfo.backToScreenInterval
            onTriggered: idAppMain.gotoMainScreen() }
    Timer { id: idToastTimer; interval: systemInfo.toastPopupInterval
            onTriggered: idAppMain.showHideSystemToastPopup(false) }
    Timer { id: idDATouchTimer; interval: systemInfo.showDATouchInterval
            onTriggered: idAppMain.showHideDATouch(false) }
    Timer { id: idHdmiCautionTimer; interval: systemInfo.hdmiCautionInterval
            onTriggered: idAppMain.showHideHdmiCaution(false) }

    // --- items, bottom to top ---

    App.ISDBtSubtitle {
        id: idSubtitle
        anchors.fill: parent
        z: -1
        visible: idAppMain.subtitleVisible
    }
    Rectangle {
        id: idMainBg
        objectName: "mainBackground"
        anchors.fill: parent
        z: idAppMain.mainBgZorder
        color: colorInfo.bgColor
        visible: idAppMain.mainBgVisible
    }
    Text {
        objectName: "preparingText"
        anchors.centerIn: parent
        visible: idAppMain.preparingVisible && !systemInfo.isQM_NRV2Z_MAX
        text: stringInfo.strMsg_PREPARING
        color: colorInfo.defaultTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: systemInfo.playStateFontSize
    }
    Image {
        objectName: "preparingImage"
        anchors.centerIn: parent
        visible: idAppMain.preparingVisible && systemInfo.isQM_NRV2Z_MAX
        source: imageInfo.img_boot_logo
    }

    AppPlayer.ISDBtPlayerMain { id: idPlayerMain; objectName: "playerMain" }
    AppStationList.ISDBtStationListMain { id: idStationList; objectName: "stationListMain"; visible: false }
    AppEpgList.ISDBtEpgListMain { id: idEpgList; objectName: "epgListMain"; visible: false }
    AppSetup.ISDBtSetupMain { id: idSetup; objectName: "setupMain"; visible: false }
    Loader { id: idEpgDetailLoader; objectName: "epgDetailLoader"; anchors.fill: parent }
    Loader { id: idDaySettingLoader; objectName: "daySettingLoader"; anchors.fill: parent }
    Loader { id: idEngLoader; objectName: "engLoader"; anchors.fill: parent; z: systemInfo.windowZ_max }

    App.ISDBtStatusBar {
        id: idStatusBar
        objectName: "statusBar"
        anchors.top: parent.top
        anchors.topMargin: systemInfo.mainVMargin
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        z: systemInfo.windowZ_statusbar
        showBilingual: idAppMain.showBilingual
        visible: !idAppMain.bDisableOsdStatusBar && idAppMain.showStatus
        onVisibleChanged: if (visible) idAppMain.showHideBilingual(true)
    }
    App.ISDBtOSD {
        id: idOsd
        objectName: "osd"
        anchors.top: parent.top
        anchors.topMargin: systemInfo.mainVMargin
        anchors.left: parent.left
        anchors.leftMargin: systemInfo.mainHMargin
        z: systemInfo.windowZ_statusbar
        maxWidth: idAppMain.getOsdMaxWidth()
        visible: !idAppMain.bDisableOsdStatusBar && idAppMain.showOsd
    }
    App.ISDBtClockBar {
        id: idClock
        objectName: "clockBar"
        anchors.bottom: parent.bottom
        anchors.bottomMargin: systemInfo.mainVMargin
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        z: systemInfo.windowZ_statusbar
        maxWidth: Math.floor(systemInfo.mainWidth / 6)
        visible: !idAppMain.bDisableClockBar && ISDBtData.nShowTime !== 0
                 && (ISDBtData.nShowTime === 2 ? idAppMain.showClock : idOsd.visible)
    }
    App.ISDBtVolumeBar {
        id: idVolume
        objectName: "volumeBar"
        anchors.bottom: idClock.visible ? idClock.top : parent.bottom
        anchors.bottomMargin: idClock.visible ? 1 : systemInfo.mainVMargin
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        z: systemInfo.windowZ_statusbar
        maxWidth: Math.floor(systemInfo.mainWidth / 8)
        visible: !idAppMain.bDisableVolumeBar
                 && (ISDBtData.nAudioLevel <= 0 || ISDBtData.bAudioMute || idAppMain.showVolume)
    }
    App.ISDBtConfirmHDMIMode {
        id: idConfirmHdmi
        objectName: "confirmHdmiMode"
        z: systemInfo.windowZ_statusbar
        visible: idAppMain.hdmiModeShow
        onHideRequested: idAppMain.showHideHDMIMode(false)
        onCautionRequested: idAppMain.showHideHdmiCaution(true)
    }
    App.ISDBtSystemPopup {
        id: idSystemPopup
        objectName: "systemPopup"
        z: systemInfo.windowZ_sysemPopup
        visible: idAppMain.showSystemPopup
        onHideRequested: idAppMain.showHideSystemPopup(false)
    }
    App.ISDBtSystemToastPopup {
        id: idSystemToast
        objectName: "systemToast"
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        width: systemInfo.mainWidth
        height: systemInfo.mainHeight
        z: systemInfo.windowZ_sysemPopup
        visible: idAppMain.showSystemToastPopup
        onSwitchingChanged: idAppMain.chSwitching = bOn
        onHideRequested: idAppMain.showHideSystemToastPopup(false)
    }
    App.ISDBtHdmiCaution {
        id: idHdmiCaution
        objectName: "hdmiCaution"
        z: systemInfo.windowZ_hdmiCaution
        visible: idAppMain.hdmiCautionVisible
        onHideRequested: {
            idAppMain.showHideHdmiCaution(false)
            if (inputType === systemInfo.inputTouch)
                idAppMain.showHideDATouch(true)
        }
    }
    App.ISDBtAntShort {
        id: idAntShort
        objectName: "antShort"
        z: systemInfo.windowZ_antShort
        visible: idAppMain.antShortVisible
    }
    App.ISDBtInit {
        id: idInit
        objectName: "initScreen"
        z: systemInfo.windowZ_init
        visible: false
        onInitScanRequested: idAppMain.setISDBtInitVisible(false)
    }
    Item {
        anchors.fill: parent
        z: systemInfo.windowZ_max
        visible: idAppMain.bFactoryShow
        Loader { id: idFactoryLoader; objectName: "factoryLoader"; anchors.fill: parent }
    }

    // One line when the window has shown its first frame (the start-up
    // benchmark waits for it).
    Connections {
        id: idFirstFrame
        target: idAppMain.Window.window
        function onFrameSwapped() {
            idFirstFrame.target = null
            ISDBtEngine.printLog("root window first frame")
        }
    }

    Component.onCompleted: {
        setAppMainScreen(selectedMainScreen, false)
        if (!ISDBtData.bInitialized)
            setISDBtInitVisible(initVisible)
    }
}
