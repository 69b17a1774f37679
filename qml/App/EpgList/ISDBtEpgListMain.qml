import QtQuick 2.6
import "../../Base"
import "../"

// Programme list of the current service. Up and down do not wrap; select on
// the current row opens a menu for the details or the date and time jump.
// While the engine refreshes the guide the list gives way to a message.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    property alias listView: idList
    property alias popupMenu: idPopup
    property alias refreshTimer: idRefreshTimer
    // Set by a channel change until the next refresh ends.
    property bool epgReset: false
    // Row at the top of the view; it always shows its date.
    property int topIndex: 0
    // Row marked while its menu is open.
    property int selectedRow: -1
    readonly property bool listShown: !epgReset && !idAppMain.epgGethering && idList.count > 0
    // Start day of the first event: the rows of that day say "today".
    property int firstMJD: -1

    function updateFirstMJD() {
        firstMJD = idList.count > 0 ? ISDBtEngine.getIntEpgDataByProxyIndex(0, "StartMJD")
                                    : -1
    }

    function updateTopIndex() {
        var row = idList.indexAt(idList.contentX + 10, idList.contentY + 10)
        if (row >= 0)
            topIndex = row
    }
    function move(bUp) {
        if (idList.count <= 0)
            return
        if (bUp && idList.currentIndex > 0)
            idList.currentIndex = idList.currentIndex - 1
        else if (!bUp && idList.currentIndex < idList.count - 1)
            idList.currentIndex = idList.currentIndex + 1
    }
    function showPopup(position) {
        var listTop = idList.y
        var h = systemInfo.listItemHeight
        idPopup.listView.currentIndex = 0
        idPopup.x = Math.round((width - idPopup.width) / 2)
        idPopup.y = position > Math.floor(systemInfo.defaultCntOnScreen / 2) ? listTop + position * h - idPopup.height
                                                                             : listTop + (position + 1) * h
        idPopup.visible = true
        idPopup.forceActiveFocus()
    }
    function hidePopup() {
        if (!idPopup.visible)
            return
        idPopup.visible = false
        selectedRow = -1
        // The screen is a focus scope that remembers the menu as its focused
        // child: the menu gives that up, so that the keys reach the list.
        idPopup.focus = false
        if (visible)
            idScreen.forceActiveFocus()
    }
    function selectRow(row, byClick) {
        if (idPopup.visible) {
            if (byClick)
                hidePopup()
            return
        }
        if (row < 0 || row >= idList.count)
            return
        if (row !== idList.currentIndex) {
            idList.currentIndex = row
            return
        }
        idAppMain.epgDetail = ISDBtEngine.getEpgDetailDataByProxyIndex(row)
        selectedRow = row
        showPopup(row - topIndex)
        idAppMain.epgBackupIndex = row
    }

    onVisibleChanged: {
        if (!visible)
            return
        hidePopup()
        if (idList.count > 0)
            idList.currentIndex = Math.min(idAppMain.epgBackupIndex, idList.count - 1)
    }
    onUpKeyPressed: move(true)
    onDownKeyPressed: move(false)
    onClickOrKeySelected: selectRow(idList.currentIndex, false)
    onBackKeyPressed: {
        if (idPopup.visible)
            hidePopup()
        else
            idAppMain.backKeyProcessing()
    }

    Connections {
        target: ISDBtEngine
        // Some of these signals come with other parts of the engine.
        function onSendChangeChannel() {
            idScreen.epgReset = true
            idList.currentIndex = -1
            idScreen.topIndex = 0
            idScreen.hidePopup()
        }
        function onSendStartEpgRefresh() {
            idAppMain.epgGethering = true
            idScreen.hidePopup()
            if (idList.count > 0 && idList.currentIndex >= 0) {
                idAppMain.epgBackupIndex = idList.currentIndex
                idList.currentIndex = -1
                idScreen.topIndex = 0
            }
            idRefreshTimer.restart()
        }
        function onSendEndEpgRefresh() {
            idRefreshTimer.stop()
            idScreen.updateFirstMJD()
            if (idList.count > 0) {
                idList.currentIndex = idList.count > idAppMain.epgBackupIndex ? idAppMain.epgBackupIndex : 0
                idScreen.topIndex = 0
                idList.positionViewAtIndex(idList.currentIndex, ListView.Center)
                idScreen.epgReset = false
                idAppMain.epgGethering = false
                if (idScreen.visible)
                    idAppMain.focusCurrentScreen()
            } else {
                idAppMain.epgGethering = true
            }
            if (idAppMain.state === "ISDBtEpgDetailMain")
                idAppMain.epgDetail = ISDBtEngine.getEpgDetailDataByProxyIndex(idAppMain.epgBackupIndex)
        }
        function onJumpEpgIndex(jumpIndex) {
            idAppMain.epgBackupIndex = jumpIndex
            idList.currentIndex = jumpIndex
            idList.positionViewAtIndex(jumpIndex, ListView.Beginning)
            idScreen.updateTopIndex()
        }
    }
    Connections {
        target: idAppMain
        function onHideLocalPopup() { idScreen.hidePopup() }
    }
    Timer {
        id: idRefreshTimer
        interval: 500
        repeat: false
        onTriggered: ISDBtEngine.setEpgListUpdate()
    }

    // Held up and down keys move once per repeat (not under the open menu).
    Connections {
        target: idAppMain
        function onUpLongKeyPressed() {
            if (idScreen.visible && !idPopup.visible)
                idScreen.move(true)
        }
        function onDownLongKeyPressed() {
            if (idScreen.visible && !idPopup.visible)
                idScreen.move(false)
        }
    }
    Rectangle {
        anchors.fill: parent
        color: colorInfo.transBgColor
    }
    BaseBand {
        id: idBand
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        width: systemInfo.mainWidth
        mFirstText: stringInfo.strApp_PROGRAM_LIST
        // The date and time stand at the right end: the band's own second
        // text starts at a fixed place that long titles run into.
        BaseText {
            objectName: "bandDateTime"
            anchors.right: parent.right
            anchors.rightMargin: systemInfo.bandFirstTextHMargin
            anchors.verticalCenter: parent.verticalCenter
            mText: idAppMain.currentDateTime
            mTextSize: systemInfo.normalFontSize
            mTextColor: colorInfo.textGray
        }
    }
    ISDBtEpgTableBand {
        id: idTable
        x: systemInfo.mainHMargin
        anchors.top: idBand.bottom
        anchors.topMargin: systemInfo.defaultMargin
        width: systemInfo.mainWidth
    }
    BaseText {
        objectName: "acquiringText"
        x: systemInfo.mainHMargin
        y: idList.y
        width: systemInfo.mainWidth
        height: idList.height
        visible: !idScreen.listShown
        mHorizontalAlies: Text.AlignHCenter
        mText: stringInfo.strMsg_ACQUIRING_INFORMATION_MSG
    }
    ListView {
        id: idList
        objectName: "epgList"
        x: systemInfo.mainHMargin
        anchors.top: idTable.bottom
        anchors.topMargin: systemInfo.mainListTopMargin
        width: systemInfo.mainWidth
        height: systemInfo.defaultCntOnScreen * systemInfo.listItemHeight
        clip: true
        visible: idScreen.listShown
        model: EpgListModel
        highlightFollowsCurrentItem: false
        onContentYChanged: idScreen.updateTopIndex()
        onCountChanged: idScreen.updateFirstMJD()
        delegate: Item {
            id: idRow
            width: idList.width
            height: systemInfo.listItemHeight
            readonly property bool current: ListView.isCurrentItem
            readonly property bool showDate: model.TopIndexDate === 1 || index === idScreen.topIndex

            BaseText {
                objectName: "dateText"
                width: systemInfo.epgListDateWidth
                height: parent.height
                visible: idRow.showDate
                mTextColor: colorInfo.dateTextColor
                mText: model.StartMJD === idScreen.firstMJD ? stringInfo.strApp_TODAY
                       : model.StartMJD === idScreen.firstMJD + 1 ? stringInfo.strApp_TOMORROW : (model.StartDate || "")
            }
            Item {
                id: idBox
                x: systemInfo.epgListDateWidth
                width: parent.width - x
                height: parent.height
                BaseImageBox {
                    anchors.fill: parent
                    mFocused: idRow.current
                    mSelected: index === idScreen.selectedRow
                }
                Item {
                    id: idTimes
                    width: Math.floor(idBox.width / 4)
                    height: parent.height
                    BaseText {
                        x: systemInfo.tableItemMargin
                        height: parent.height
                        mText: model.StartTime
                    }
                    BaseText {
                        anchors.horizontalCenter: parent.horizontalCenter
                        height: parent.height
                        mText: " ~ "
                    }
                    BaseText {
                        anchors.right: parent.right
                        height: parent.height
                        mText: model.EndTime
                    }
                }
                BaseText {
                    objectName: "programName"
                    x: idTimes.width + systemInfo.programMargin
                    width: idBox.width - x - systemInfo.tableItemMargin
                    height: parent.height
                    mText: model.ProgramName
                    mElide: Text.ElideRight
                }
            }
            MouseArea {
                anchors.fill: parent
                onClicked: idScreen.selectRow(index, true)
            }
        }
    }
    BasePopupMenu {
        id: idPopup
        objectName: "epgPopupMenu"
        visible: false
        menuModel: [
            { name: stringInfo.strApp_PROGRAM_DETAILS, value: 0 },
            { name: stringInfo.strApp_SWITCHE_SPECIFIED_DATE_TIME, value: 1 }
        ]
        onMenuItemSelected: {
            idScreen.hidePopup()
            if (value === 0)
                idAppMain.showHideEpgDetail(true)
            else
                idAppMain.showHideDaySetting(true)
        }
        // Back travels on to the screen, which then closes only the menu.
    }
    ISDBtGuideBar {
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        anchors.bottom: parent.bottom
        anchors.bottomMargin: systemInfo.mainVMargin
        exitText: stringInfo.strApp_PROGRAM_LIST
        Component.onCompleted: setEnableDirection(true, true, false, false)
    }
}
