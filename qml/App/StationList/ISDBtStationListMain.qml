import QtQuick 2.6
import "../../Base"
import "../"

// Station list: every station of the current segment type with its logo,
// name, programme and remote key; select tunes the station. Up and down wrap.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    property alias listView: idList
    readonly property int nameWidth: Math.floor(systemInfo.mainWidth * 0.4)

    // The current station's row, centred; row 0 when the index is not a row.
    function refreshCurrent() {
        var index = ISDBtData.nCurrStationIndex
        idList.currentIndex = index >= 0 && index < idList.count ? index : (idList.count > 0 ? 0 : -1)
        if (idList.currentIndex >= 0)
            idList.positionViewAtIndex(idList.currentIndex, ListView.Center)
    }
    function move(bUp) {
        if (idList.count <= 0)
            return
        if (bUp)
            idList.currentIndex = idList.currentIndex <= 0 ? idList.count - 1 : idList.currentIndex - 1
        else
            idList.currentIndex = idList.currentIndex >= idList.count - 1 ? 0 : idList.currentIndex + 1
    }
    function selectRow(row) {
        idList.currentIndex = row
        var item = idList.currentItem
        if (!item)
            return
        var remoconID = item.remoconID, dispSubChannel = item.dispSubChannel
        ISDBtEngine.printLog("[StationList] select row(" + row + ") RemoconID(" + remoconID + ")")
        idAppMain.gotoMainScreen()
        idAppMain.isChChangeByRemocon = true
        ISDBtEngine.execChangeChannel(remoconID, dispSubChannel)
    }

    onVisibleChanged: if (visible) refreshCurrent()
    onUpKeyPressed: move(true)
    onDownKeyPressed: move(false)
    onClickOrKeySelected: if (idList.currentIndex >= 0) selectRow(idList.currentIndex)
    onBackKeyPressed: idAppMain.backKeyProcessing()

    Connections {
        target: ISDBtData
        function onNotifyCurrStationIndexChanged() { idScreen.refreshCurrent() }
    }
    Connections {
        target: ISDBtEngine
        // Some of these signals come with other parts of the engine.
        function onSendRefreshStaionListStart() { idList.currentIndex = -1 }
        function onSendRefreshStaionListEnd() { idScreen.refreshCurrent() }
    }

    // Held up and down keys move once per repeat.
    Connections {
        target: idAppMain
        function onUpLongKeyPressed() {
            if (idScreen.visible)
                idScreen.move(true)
        }
        function onDownLongKeyPressed() {
            if (idScreen.visible)
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
        mFirstText: stringInfo.strApp_CHANNEL_LIST
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
    Item {
        id: idTable
        x: systemInfo.mainHMargin
        anchors.top: idBand.bottom
        anchors.topMargin: systemInfo.defaultMargin
        width: systemInfo.mainWidth
        height: systemInfo.tableHeight
        ISDBtHomeDriveIcon {
            id: idHomeDrive
            objectName: "tableHomeDrive"
            x: systemInfo.tableItemMargin
            anchors.verticalCenter: parent.verticalCenter
            height: systemInfo.normalFontSize
        }
        BaseText {
            x: idHomeDrive.visible ? idHomeDrive.x + idHomeDrive.width + systemInfo.tableItemMargin
                                   : systemInfo.tableItemMargin
            height: parent.height
            mText: stringInfo.strApp_STATION
            mTextSize: systemInfo.smallFontSize
        }
        BaseText {
            x: idScreen.nameWidth + systemInfo.tableProgramMargin
            height: parent.height
            mText: stringInfo.strApp_PROGRAM_NAME
            mTextSize: systemInfo.smallFontSize
        }
        BaseText {
            anchors.right: parent.right
            anchors.rightMargin: systemInfo.tableItemMargin
            height: parent.height
            mText: stringInfo.strApp_BUTTON
            mTextSize: systemInfo.smallFontSize
        }
    }
    ListView {
        id: idList
        objectName: "stationList"
        x: systemInfo.mainHMargin
        anchors.top: idTable.bottom
        anchors.topMargin: systemInfo.mainListTopMargin
        width: systemInfo.mainWidth
        height: systemInfo.defaultCntOnScreen * systemInfo.listItemHeight
        clip: true
        model: StationListModel
        highlightFollowsCurrentItem: false
        delegate: Item {
            id: idRow
            width: idList.width
            height: systemInfo.listItemHeight
            readonly property bool current: ListView.isCurrentItem
            readonly property int remoconID: model.RemoconID
            readonly property int dispSubChannel: model.DispSubChannel
            readonly property color textColor: current ? colorInfo.defaultTextColor : colorInfo.normalTextColor
            readonly property int fontHeight: systemInfo.normalFontSize

            BaseImageBox {
                anchors.fill: parent
                mFocused: idRow.current
            }
            Image {
                id: idLogo
                objectName: "stationLogo"
                x: systemInfo.tableItemMargin
                anchors.verticalCenter: parent.verticalCenter
                width: Math.round(64 * idRow.fontHeight / 36)
                height: idRow.fontHeight
                visible: model.SubChannel === 1
                source: visible ? ISDBtEngine.getStationLogoPath(model.ChannelNumber) : ""
                fillMode: Image.PreserveAspectFit
                // A new network of the station brings its own logo.
                readonly property int networkID: model.NetworkID !== undefined ? model.NetworkID : 0
                onNetworkIDChanged: reload()
                function reload() {
                    if (!visible)
                        return
                    source = ""
                    source = ISDBtEngine.getStationLogoPath(model.ChannelNumber)
                }
                Connections {
                    target: ISDBtEngine
                    // Some of these signals come with other parts of the engine.
                    function onSendChannelLogoUpdated(channelNumber, networkID) {
                        if (channelNumber === model.ChannelNumber)
                            idLogo.reload()
                    }
                }
            }
            BaseText {
                objectName: "stationName"
                anchors.left: idLogo.right
                anchors.leftMargin: systemInfo.tableItemMargin
                width: idScreen.nameWidth - x
                height: parent.height
                mText: model.TSName
                mTextColor: idRow.textColor
                mElide: Text.ElideRight
            }
            BaseText {
                objectName: "programName"
                x: idScreen.nameWidth + systemInfo.tableProgramMargin
                width: idCircle.x - x - systemInfo.tableItemMargin
                height: parent.height
                mText: model.ProgramName
                mTextColor: idRow.textColor
                mElide: Text.ElideRight
            }
            Image {
                id: idCircle
                anchors.right: parent.right
                anchors.rightMargin: systemInfo.tableItemMargin
                anchors.verticalCenter: parent.verticalCenter
                source: imageInfo.img_02_channel_circle
                height: parent.height * 0.8
                width: Math.max(height, idKey.paintedWidth + 2 * systemInfo.tableItemMargin)
            }
            BaseText {
                id: idKey
                objectName: "remoconText"
                anchors.fill: idCircle
                mHorizontalAlies: Text.AlignHCenter
                mText: model.RemoconID
                       + (ISDBtEngine.getCountOfRemoconID(model.RemoconID) > 1
                          ? " -" + model.DispSubChannel : "")
                mTextColor: idRow.textColor
            }
            MouseArea {
                anchors.fill: parent
                onClicked: {
                    if (idList.currentIndex === index)
                        idScreen.selectRow(index)
                    else
                        idList.currentIndex = index
                }
            }
        }
    }
    ISDBtGuideBar {
        id: idGuideBar
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        anchors.bottom: parent.bottom
        anchors.bottomMargin: systemInfo.mainVMargin
        exitText: stringInfo.strApp_CHANNEL_LIST
        Component.onCompleted: setEnableDirection(true, true, false, false)
    }
}
