import QtQuick 2.6
import "../../Base"
import "../"

// Date and time jump: the guide's days on the left, the hours of the chosen
// day on the right; choosing an hour returns to the programme list at the
// first event of that hour. Both lists wrap.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    property alias dayList: idDayList
    property alias hourList: idHourList
    property bool hourFocused: false
    property alias guideBar: idGuideBar
    // Day number of the day list's current row. A day without events has no
    // row, so rows and day numbers part after it: the hour list is the
    // chosen day's, by its number.
    readonly property int currentDay: idDayList.currentItem ? idDayList.currentItem.dayNumber : 0
    readonly property var hourModel: hourModelOf(currentDay)

    function hourModelOf(day) {
        switch (day) {
        case 1: return EpgDay1TimeListModel
        case 2: return EpgDay2TimeListModel
        case 3: return EpgDay3TimeListModel
        case 4: return EpgDay4TimeListModel
        case 5: return EpgDay5TimeListModel
        case 6: return EpgDay6TimeListModel
        case 7: return EpgDay7TimeListModel
        }
        return EpgDay0TimeListModel
    }
    function move(list, bUp) {
        if (list.count <= 0)
            return
        if (bUp)
            list.currentIndex = list.currentIndex <= 0 ? list.count - 1 : list.currentIndex - 1
        else
            list.currentIndex = list.currentIndex >= list.count - 1 ? 0 : list.currentIndex + 1
    }
    function focusHours(bHours) {
        hourFocused = bHours
        idHourList.currentIndex = 0
        if (bHours)
            idGuideBar.setEnableDirection(true, true, true, false)
        else
            idGuideBar.setEnableDirection(true, true, false, true)
    }
    function selectHour() {
        var item = idHourList.currentItem
        if (!item)
            return
        ISDBtEngine.setJumpEpgIndex(item.epgIndex)
        idAppMain.backKeyProcessing()
    }

    onHourModelChanged: idHourList.currentIndex = 0
    onUpKeyPressed: move(hourFocused ? idHourList : idDayList, true)
    onDownKeyPressed: move(hourFocused ? idHourList : idDayList, false)
    onRightKeyPressed: if (!hourFocused) focusHours(true)
    onLeftKeyPressed: if (hourFocused) focusHours(false)
    onClickOrKeySelected: {
        if (hourFocused)
            selectHour()
        else if (idDayList.count > 0)
            focusHours(true)
    }
    onBackKeyPressed: idAppMain.backKeyProcessing()
    Component.onCompleted: focusHours(false)

    Connections {
        target: ISDBtEngine
        // Some of these signals come with other parts of the engine.
        function onSendEndEpgRefresh() {
            idDayList.currentIndex = 0
            idScreen.focusHours(false)
        }
    }

    // Held up and down keys move once per repeat.
    Connections {
        target: idAppMain
        function onUpLongKeyPressed() {
            if (idScreen.visible)
                idScreen.move(idScreen.hourFocused ? idHourList : idDayList, true)
        }
        function onDownLongKeyPressed() {
            if (idScreen.visible)
                idScreen.move(idScreen.hourFocused ? idHourList : idDayList, false)
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
        mFirstText: stringInfo.strApp_SWITCHE_SPECIFIED_DATE_TIME
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
    BaseText {
        id: idTable
        x: systemInfo.mainHMargin + systemInfo.tableItemMargin
        anchors.top: idBand.bottom
        anchors.topMargin: systemInfo.defaultMargin
        width: systemInfo.mainWidth
        height: systemInfo.tableHeight
        mTextSize: systemInfo.smallFontSize
        mText: stringInfo.strMsg_SWITCHE_SPECIFIED_DATE_TIME_MSG
    }
    BaseText {
        objectName: "acquiringText"
        x: systemInfo.mainHMargin
        y: idDayList.y
        width: systemInfo.mainWidth
        height: idDayList.height
        visible: idAppMain.epgGethering
        mHorizontalAlies: Text.AlignHCenter
        mText: stringInfo.strMsg_ACQUIRING_INFORMATION_MSG
    }

    ListView {
        id: idDayList
        objectName: "dayList"
        x: systemInfo.mainHMargin
        anchors.top: idTable.bottom
        anchors.topMargin: systemInfo.mainListTopMargin
        width: Math.floor(systemInfo.mainWidth / 2)
        height: systemInfo.defaultCntOnScreen * systemInfo.listItemHeight
        clip: true
        visible: !idAppMain.epgGethering
        model: EpgDayListModel
        highlightFollowsCurrentItem: false
        delegate: Item {
            width: idDayList.width
            height: systemInfo.listItemHeight
            readonly property int dayNumber: model.DayTimeNumber
            ISDBtDayTimeRow {
                list: idDayList
                rowIndex: index
                hasFocus: !idScreen.hourFocused
                markSelected: idScreen.hourFocused
                text: model.DayTimeNumber === 0 ? stringInfo.strApp_TODAY
                      : model.DayTimeNumber === 1 ? stringInfo.strApp_TOMORROW : model.DayTimeText
            }
            MouseArea {
                anchors.fill: parent
                onClicked: {
                    idDayList.currentIndex = index
                    idScreen.focusHours(true)
                }
            }
        }
    }
    ListView {
        id: idHourList
        objectName: "hourList"
        anchors.left: idDayList.right
        anchors.top: idDayList.top
        width: Math.floor(systemInfo.mainWidth / 2)
        height: idDayList.height
        clip: true
        visible: !idAppMain.epgGethering
        model: idScreen.hourModel
        highlightFollowsCurrentItem: false
        delegate: Item {
            width: idHourList.width
            height: systemInfo.listItemHeight
            readonly property int epgIndex: model.DayTimeEpgIndex
            ISDBtDayTimeRow {
                list: idHourList
                rowIndex: index
                hasFocus: idScreen.hourFocused
                text: model.DayTimeNumber + stringInfo.strApp_HOUR
            }
            MouseArea {
                anchors.fill: parent
                onClicked: {
                    idScreen.focusHours(true)
                    idHourList.currentIndex = index
                    idScreen.selectHour()
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
        exitText: stringInfo.strApp_PROGRAM_LIST
    }
}
