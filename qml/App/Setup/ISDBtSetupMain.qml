import QtQuick 2.6
import "../../Base"
import "../"
import "../../JavaScript/SetupRows.js" as SetupRows

// The settings screen: three tabs (Channel, Watch, Other), each a list of
// rows that open a value popup, edit a number in place, ask a yes/no
// question or only show a value. Every change goes to the engine's settings
// commands; the rows show what the settings store holds.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    readonly property bool isQM: systemInfo.isQM_NRV2Z_MAX
    readonly property bool isVEK: systemInfo.isVEK_R410
    property int currentTab: 0
    property bool focusOnList: false
    property var currentRows: [0, 0, 0]
    readonly property var rows: SetupRows.rows(currentTab, stringInfo, isQM, isVEK)
    readonly property int currentRow: currentRows[currentTab]
    readonly property var currentItem: rows[Math.min(currentRow, rows.length - 1)]
    property bool setupEditMode: false
    property int editValue: 0
    // "", "popup", "scan", "reset", "copyLog" or "antenna".
    property string dialog: ""
    property bool confirmYes: true
    property bool copyingLog: false
    readonly property bool videoDelayMode: isQM && focusOnList && currentItem.id === "videoDelay"
    readonly property var tabTitles: [stringInfo.strApp_CHANNEL_SETTINGS, stringInfo.strApp_WATCHING_SETTINGS,
                                      stringInfo.strApp_OTHERS]
    readonly property var valueProperties: ({
        stationSearchOp: "nStationSearchType", autoStationSearch: "nStationSearchTime",
        bgSearch: "nBackgroundSearch", segMode: "nSegMode", subtitle: "nSubtitle", superImpose: "nSuperImpose",
        bilingual: "nBilingual", clock: "nShowTime", screenRatio: "nScreenRatio", accOp: "nStartPower",
        volume: "nAudioLevel", screenScale: "nScreenScale", videoDelay: "nVideoDelay" })

    // The engine's command of a setting row.
    function applySetting(id, value) {
        switch (id) {
        case "stationSearchOp": ISDBtEngine.execStationSearchOpChange(value); break
        case "autoStationSearch": ISDBtEngine.execAutoStationSearchChange(value); break
        case "bgSearch": ISDBtEngine.execBackgroundSearchChange(value); break
        case "segMode": ISDBtEngine.execSegModeChange(value); break
        case "subtitle": ISDBtEngine.execSetSubtitle(value); break
        case "superImpose": ISDBtEngine.execSetSuperImpose(value); break
        case "bilingual": ISDBtEngine.execBilingualChange(value); break
        case "clock": ISDBtEngine.execClockDisplayChange(value); break
        case "screenRatio": ISDBtEngine.execScreenRatioChange(value); break
        case "accOp": ISDBtEngine.execAccOpChange(value); break
        case "volume": ISDBtEngine.execAudioLevelChange(value); break
        case "screenScale": ISDBtEngine.execScreenScaleChange(value); break
        case "videoDelay": ISDBtEngine.execVideoDelayChange(value); break
        default: throw new Error("setting " + id + " has no engine command")
        }
    }
    function stored(id) { return ISDBtData[valueProperties[id]] }

    // The text a row shows at its right.
    function valueText(item) {
        if (item.kind === SetupRows.Popup)
            return SetupRows.valueText(item.id, stored(item.id), stringInfo, isQM)
        if (item.kind === SetupRows.Edit) {
            var v = setupEditMode && item.id === currentItem.id ? editValue : stored(item.id)
            return item.id === "videoDelay" ? SetupRows.delayText(v) : String(v)
        }
        if (item.id === "version")
            return isQM ? ISDBtData.sMicomVer + " / " + ISDBtData.sSwVer : ISDBtData.sSwVer
        return ""
    }

    // Every time the screen is shown it starts on the first tab and row.
    function initializeView() {
        idAppMain.isLogSaveMode = false
        currentRows = [0, 0, 0]
        currentTab = 0
        focusOnList = false
        setupEditMode = false
        copyingLog = false
        closeDialog()
        idScreen.forceActiveFocus()
    }

    function setRow(row) {
        var r = currentRows.slice()
        r[currentTab] = row
        currentRows = r
        idAppMain.isLogSaveMode = false
    }

    function openDialog(name) {
        dialog = name
        confirmYes = true
        if (name !== "popup")
            idAppMain.startStopBackToPlayerScreenTimer(false)
        if (name === "popup")
            idPopup.forceActiveFocus()
    }
    function closeDialog() {
        var wasConfirm = dialog !== "" && dialog !== "popup"
        dialog = ""
        if (wasConfirm)
            idAppMain.startStopBackToPlayerScreenTimer(true)
        // The screen is a focus scope: its keys come back only once the
        // popup gives up the scope's focus.
        idPopup.focus = false
        idScreen.forceActiveFocus()
    }

    function openPopup() {
        var list = SetupRows.choices(currentItem.id, stringInfo, isQM)
        idPopup.popupMenuName = currentItem.id
        idPopup.menuModel = list
        idPopup.selectedValue = stored(currentItem.id)
        idPopup.listView.currentIndex = SetupRows.indexOfValue(list, stored(currentItem.id))
        openDialog("popup")
    }

    function stepEdit(up, held) {
        var range = SetupRows.editRange(currentItem.id, systemInfo.maxVolume)
        var next = Math.max(range[0], Math.min(range[1], editValue + (up ? 1 : -1)))
        if (next === editValue)
            return
        editValue = next
        // On this model volume and scale follow every step; a held key's
        // steps are applied once it rests.
        if (isQM && currentItem.id !== "videoDelay") {
            if (held)
                idEditKeyTimer.restart()
            else
                applyEdit()
        }
    }
    function applyEdit() {
        if (editValue !== stored(currentItem.id))
            applySetting(currentItem.id, editValue)
    }

    function actOnRow() {
        var item = currentItem
        if (item.id !== "version")
            idAppMain.isLogSaveMode = false
        switch (item.kind) {
        case SetupRows.Popup: openPopup(); break
        case SetupRows.Edit:
            if (setupEditMode) {
                idEditKeyTimer.stop()
                applyEdit()
                setupEditMode = false
            } else {
                editValue = stored(item.id)
                setupEditMode = true
            }
            break
        case SetupRows.ConfirmScan: openDialog("scan"); break
        case SetupRows.ConfirmReset: openDialog("reset"); break
        case SetupRows.Antenna: openDialog("antenna"); break
        case SetupRows.Display: idAppMain.isLogSaveMode = true; break
        }
    }

    function answer(yes) {
        var which = dialog
        if (!yes) {
            closeDialog()
            return
        }
        if (which === "scan") {
            closeDialog()
            var id = currentItem.id
            if (id === "initialScan")
                ISDBtEngine.execInitScan()
            else if (id === "additionalScan")
                ISDBtEngine.execAdditionalScan(isQM)
            else
                ISDBtEngine.execScan(isQM)
        } else if (which === "reset") {
            closeDialog()
            ISDBtEngine.execFactoryReset()
        } else if (which === "copyLog") {
            // The question gives way to the copying text before the copy blocks.
            copyingLog = true
            idLogCopyTimer.restart()
        }
    }

    function backKey() {
        if (dialog !== "")
            closeDialog()
        else if (setupEditMode)
            setupEditMode = false
        else if (focusOnList)
            focusOnList = false
        else
            idAppMain.backKeyProcessing()
    }

    function upDown(up) {
        if (dialog === "scan" || dialog === "reset" || dialog === "copyLog") {
            if (!copyingLog)
                confirmYes = !confirmYes
            return
        }
        if (dialog === "antenna") {
            up ? ISDBtEngine.execNextChannel() : ISDBtEngine.execPrevChannel()
            return
        }
        if (!focusOnList) {
            currentTab = Math.max(0, Math.min(2, currentTab + (up ? -1 : 1)))
            return
        }
        if (setupEditMode) {
            idHeld.up = up
            stepEdit(up, false)
            return
        }
        setRow(Math.max(0, Math.min(rows.length - 1, currentRow + (up ? -1 : 1))))
    }

    onVisibleChanged: if (visible) initializeView()
    onBackKeyPressed: backKey()
    onUpKeyPressed: upDown(true)
    onDownKeyPressed: upDown(false)
    onClickPressAndHold: if (focusOnList && setupEditMode && dialog === "") stepEdit(idHeld.up, true)
    onLeftKeyPressed: {
        if (dialog !== "")
            return
        if (setupEditMode)
            setupEditMode = false
        else
            focusOnList = false
    }
    onRightKeyPressed: {
        if (dialog !== "")
            return
        if (!focusOnList)
            focusOnList = true
        else if (currentItem.kind === SetupRows.Popup && !setupEditMode)
            openPopup()
    }
    onClickOrKeySelected: {
        if (dialog === "scan" || dialog === "reset" || dialog === "copyLog") {
            if (!copyingLog)
                answer(confirmYes)
        } else if (dialog === "antenna") {
            closeDialog()
        } else if (!focusOnList) {
            focusOnList = true
        } else {
            actOnRow()
        }
    }
    // The direction a held key keeps stepping in.
    QtObject { id: idHeld; property bool up: true }

    Connections {
        target: idAppMain
        function onShowConfirmLogCopyMsg() {
            if (idScreen.visible && idScreen.dialog === "")
                idScreen.openDialog("copyLog")
        }
        function onHideLocalPopup() {
            if (idScreen.dialog !== "")
                idScreen.closeDialog()
        }
    }
    Connections {
        target: ISDBtEngine
        function onSendCompleteLogCopy(result) {
            idScreen.copyingLog = false
            idAppMain.isLogSaveMode = false
            if (idScreen.dialog === "copyLog")
                idScreen.closeDialog()
        }
    }
    Timer {
        id: idEditKeyTimer
        interval: systemInfo.editKeyInterval
        onTriggered: idScreen.applyEdit()
    }
    Timer {
        id: idLogCopyTimer
        interval: 100
        onTriggered: ISDBtEngine.execLogCopy()
    }

    Rectangle {
        anchors.fill: parent
        color: colorInfo.bgColor
        opacity: idScreen.videoDelayMode ? 0.7 : 0.8
    }
    BaseBand {
        id: idBand
        objectName: "setupBand"
        // Above the questions, whose item it names.
        z: 3
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        mFirstText: idScreen.dialog === "" || idScreen.dialog === "popup" ? idScreen.tabTitles[idScreen.currentTab]
                                                                          : idScreen.currentItem.name
    }
    BaseText {
        objectName: "setupDateTime"
        z: 3
        anchors.right: idBand.right
        anchors.rightMargin: systemInfo.bandFirstTextHMargin
        anchors.verticalCenter: idBand.verticalCenter
        mText: idAppMain.currentDateTime
        mTextSize: systemInfo.dateFontSize
        mTextColor: colorInfo.dateTextColor
    }

    Column {
        id: idTabs
        x: systemInfo.mainHMargin
        y: idBand.y + systemInfo.bandHeight + systemInfo.mainContentVMargin
        // Two table widths: the tab titles are whole phrases.
        width: 2 * systemInfo.setupTabWidth
        Repeater {
            model: idScreen.tabTitles
            Item {
                width: idTabs.width
                height: systemInfo.listItemHeight
                BaseImageBox {
                    anchors.fill: parent
                    mFocused: !idScreen.focusOnList && idScreen.currentTab === index
                    mSelected: idScreen.currentTab === index
                }
                BaseText {
                    anchors.fill: parent
                    anchors.leftMargin: systemInfo.boxContentMargin
                    anchors.rightMargin: systemInfo.boxContentMargin
                    mText: modelData
                    mTextSize: systemInfo.menuBoxFontSize
                    mElide: Text.ElideRight
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: { idScreen.currentTab = index; idScreen.focusOnList = false }
                }
            }
        }
    }

    ListView {
        id: idList
        objectName: "setupList"
        x: idTabs.x + idTabs.width + systemInfo.defaultMargin
        y: idTabs.y
        width: systemInfo.lcdWidth - x - systemInfo.mainHMargin
        height: systemInfo.settingCntOnScreen * systemInfo.listItemHeight
        clip: true
        interactive: false
        model: idScreen.rows
        currentIndex: idScreen.currentRow
        delegate: Item {
            width: idList.width
            height: systemInfo.listItemHeight
            readonly property bool current: idScreen.focusOnList && ListView.isCurrentItem
            BaseImageBox {
                anchors.fill: parent
                mFocused: parent.current
                mSelected: parent.current && idScreen.setupEditMode
            }
            BaseText {
                anchors.left: parent.left
                anchors.leftMargin: systemInfo.boxContentMargin
                anchors.verticalCenter: parent.verticalCenter
                mText: modelData.name
                mTextSize: systemInfo.menuBoxFontSize
            }
            BaseText {
                objectName: "setupValue_" + modelData.id
                anchors.right: parent.right
                anchors.rightMargin: systemInfo.boxContentMargin
                anchors.verticalCenter: parent.verticalCenter
                mText: idScreen.valueText(modelData)
                mTextSize: systemInfo.menuBoxFontSize
                mTextColor: parent.current && idScreen.setupEditMode ? colorInfo.selectTextColor
                                                                      : colorInfo.defaultTextColor
            }
            MouseArea {
                anchors.fill: parent
                enabled: idScreen.dialog === ""
                onClicked: {
                    idScreen.focusOnList = true
                    idScreen.setRow(index)
                    idScreen.actOnRow()
                }
            }
        }
    }

    BasePopupMenu {
        id: idPopup
        objectName: "setupPopup"
        visible: idScreen.dialog === "popup"
        x: idList.x + idList.width - width
        // At the current row, moved up by whole rows to stay in the list.
        y: {
            var rowY = idList.y + (idScreen.currentRow - idList.indexAt(0, idList.contentY)) * systemInfo.listItemHeight
            var bottom = idList.y + idList.height
            while (rowY + height > bottom && rowY - systemInfo.listItemHeight >= idList.y)
                rowY -= systemInfo.listItemHeight
            return rowY
        }
        z: 1
        onMenuItemSelected: {
            idScreen.closeDialog()
            idScreen.applySetting(name, value)
        }
        onLeftKeyPressed: idScreen.closeDialog()
        // Back travels on to the screen, which closes the popup.
    }

    // The scan, reset and copy-log questions.
    Item {
        id: idConfirm
        objectName: "setupConfirm"
        anchors.fill: parent
        visible: idScreen.dialog === "scan" || idScreen.dialog === "reset" || idScreen.dialog === "copyLog"
        z: 2
        readonly property var texts: {
            if (idScreen.dialog === "copyLog")
                return idScreen.copyingLog ? [stringInfo.strApp_WHILE_COPY_LOG]
                                           : [stringInfo.strMsg_COPY_LOG_CONFIRM_MSG_01, stringInfo.strMsg_COPY_LOG_CONFIRM_MSG_02]
            if (idScreen.dialog === "reset")
                return [stringInfo.strApp_FACTORY_RESET_QUESTION, stringInfo.strMsg_INITIALIZED_SCAN_AGAIN_MSG]
            var id = idScreen.currentItem.id
            var q = id === "initialScan" ? stringInfo.strApp_HOME_INITIAL_SCAN_QUESTION
                  : id === "additionalScan" ? stringInfo.strApp_ADDITIONAL_SCAN_QUESTION : stringInfo.strApp_ALL_SCAN_QUESTION
            return [q, stringInfo.strMsg_ASSIGN_CHANNEL_TO_BUTTON_MSG]
        }
        Rectangle { anchors.fill: parent; color: colorInfo.bgColor; opacity: 0.8 }
        BaseImagePopupBox {
            anchors.centerIn: parent
            width: systemInfo.popupBoxW
            height: systemInfo.popupBoxH
            Column {
                anchors.centerIn: parent
                spacing: systemInfo.defaultVSpace
                Repeater {
                    model: idConfirm.texts
                    BaseText {
                        anchors.horizontalCenter: parent.horizontalCenter
                        mText: modelData
                        mTextSize: systemInfo.normalFontSize
                    }
                }
                Repeater {
                    model: idScreen.copyingLog ? [] : [true, false]
                    Item {
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: systemInfo.menuBoxW
                        height: systemInfo.menuBoxH
                        BaseImageBox { anchors.fill: parent; mFocused: idScreen.confirmYes === modelData }
                        BaseText {
                            anchors.centerIn: parent
                            mText: modelData ? stringInfo.strApp_YES : stringInfo.strApp_NO
                            mTextSize: systemInfo.btnFontSize
                        }
                        MouseArea { anchors.fill: parent; onClicked: idScreen.answer(modelData) }
                    }
                }
            }
        }
    }

    // Antenna level: the tuned channel, its centre frequency and the signal.
    Item {
        id: idAntenna
        objectName: "setupAntenna"
        anchors.fill: parent
        visible: idScreen.dialog === "antenna"
        z: 2
        readonly property int channel: ISDBtData.nCurrChannelNumber
        Rectangle { anchors.fill: parent; color: colorInfo.bgColor; opacity: 0.8 }
        Column {
            anchors.centerIn: parent
            spacing: systemInfo.defaultVSpace
            BaseText {
                objectName: "setupAntennaFrequency"
                mText: stringInfo.strApp_FREQUENCY + " : UHF " + (idAntenna.channel < 0 ? "-" : idAntenna.channel + 13)
                       + "  " + (473.143 + 6 * idAntenna.channel).toFixed(3) + " MHz"
            }
            BaseText { mText: stringInfo.strApp_SIGNAL_STRENGTH }
            Row {
                spacing: systemInfo.defaultMargin
                BaseText { mText: stringInfo.strApp_WEAK }
                ISDBtProgressBar {
                    width: systemInfo.scanProgressW
                    height: systemInfo.menuBoxH / 2
                    progressPercent: ISDBtData.nAntStrengthLevel
                }
                BaseText { mText: stringInfo.strApp_STRONG }
                BaseText { mText: ISDBtData.nAntStrengthLevel + " %" }
            }
        }
    }

    ISDBtGuideBar {
        id: idGuideBar
        objectName: "setupGuideBar"
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        anchors.bottom: parent.bottom
        anchors.bottomMargin: systemInfo.mainVMargin
        visible: !idScreen.copyingLog
        exitText: stringInfo.strApp_SETTINGS
        readonly property bool popupRow: idScreen.focusOnList && idScreen.currentItem.kind === SetupRows.Popup
        Component.onCompleted: update()
        onPopupRowChanged: update()
        Connections {
            target: idScreen
            function onFocusOnListChanged() { idGuideBar.update() }
        }
        function update() {
            if (!idScreen.focusOnList)
                setEnableDirection(true, true, false, true)
            else if (popupRow)
                setEnableDirection(true, true, true, true)
            else
                setEnableDirection(true, true, true, false)
        }
    }
}
