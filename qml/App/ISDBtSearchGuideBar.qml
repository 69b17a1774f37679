import QtQuick 2.6
import "../Base"

// The station-search button hint: press it again to stop.
Item {
    width: Math.max(systemInfo.searchGuideBarW, idRow.implicitWidth + 2 * systemInfo.guideBarHMargin)
    height: systemInfo.guideBarH

    BaseImageBox { anchors.fill: parent }
    Row {
        id: idRow
        anchors.centerIn: parent
        spacing: systemInfo.guideBarHMargin
        BaseItem {
            anchors.verticalCenter: parent.verticalCenter
            mIconSource: imageInfo.img_001_btn_broadcasting
            mText: stringInfo.strApp_STATION_SEARCH
            mTextSize: systemInfo.btnFontSize
        }
        BaseText {
            anchors.verticalCenter: parent.verticalCenter
            mText: stringInfo.strMsg_PRESS_TO_EXIT_MSG
            mTextSize: systemInfo.btnFontSize
        }
    }
}
