import QtQuick 2.6
import "../../Base"
import "../"

// The station list screen as the root window sees it: a titled full screen that
// goes back on the back key. Its lists and controls belong to the screen's
// own work and take this file's place.
BaseComponent {
    id: idScreen
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight
    onBackKeyPressed: idAppMain.backKeyProcessing()

    Rectangle {
        anchors.fill: parent
        color: colorInfo.bgColor
    }
    BaseBand {
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        mFirstText: stringInfo.strApp_CHANNEL_LIST
    }
    ISDBtExitGuideBar {
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.mainHMargin
        anchors.bottom: parent.bottom
        anchors.bottomMargin: systemInfo.mainVMargin
        exitText: stringInfo.strApp_BACK
        mTouchEnable: true
        onGuideBarBtnClicked: idAppMain.backKeyProcessing()
    }
}
