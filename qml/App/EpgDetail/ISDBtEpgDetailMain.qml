import QtQuick 2.6
import "../../Base"
import "../"
import "../EpgList"

// Programme details: the scrolling text of the chosen guide row. Up and down
// scroll one line; select returns to the programme list.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    property alias textView: idText

    onUpKeyPressed: idText.moveTextLine(true)
    onDownKeyPressed: idText.moveTextLine(false)
    onClickOrKeySelected: {
        idAppMain.epgDetail = ""
        idAppMain.showHideEpgDetail(false)
    }
    onBackKeyPressed: idAppMain.backKeyProcessing()

    Connections {
        target: ISDBtEngine
        // Some of these signals come with other parts of the engine.
        function onSendChangeChannel() { idAppMain.backKeyProcessing() }
    }

    // Held up and down keys move once per repeat.
    Connections {
        target: idAppMain
        function onUpLongKeyPressed() {
            if (idScreen.visible)
                idText.moveTextLine(true)
        }
        function onDownLongKeyPressed() {
            if (idScreen.visible)
                idText.moveTextLine(false)
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
        mFirstText: stringInfo.strApp_PROGRAM_DETAILS
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
    BaseScrollTextView {
        id: idText
        objectName: "epgDetailText"
        x: systemInfo.mainHMargin + systemInfo.boxContentMargin
        anchors.top: idTable.bottom
        anchors.topMargin: systemInfo.mainListTopMargin
        width: systemInfo.mainWidth - 2 * systemInfo.boxContentMargin
        height: systemInfo.contentTextLint * lineHeight
        mShowScroll: false
        visible: idAppMain.epgDetail !== ""
        mText: idAppMain.epgDetail
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
