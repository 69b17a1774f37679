import QtQuick 2.6
import "../Base"

// The decide hint; the initial-scan variant names the channel settings.
Item {
    id: idSelectGuideBar
    property bool initialVariant: false
    property string decisionText: initialVariant ? stringInfo.strApp_SETTINGS : stringInfo.strApp_DECISION
    property string hintText: initialVariant ? stringInfo.strApp_CHANNEL_SETTINGS : ""

    width: Math.max(initialVariant ? systemInfo.initialGuideBarW : systemInfo.selectGuideBarW,
                    idRow.implicitWidth + 2 * systemInfo.guideBarHMargin)
    height: systemInfo.guideBarH

    BaseImageBox { anchors.fill: parent }
    Row {
        id: idRow
        anchors.centerIn: parent
        spacing: systemInfo.guideBarHMargin
        BaseText {
            anchors.verticalCenter: parent.verticalCenter
            visible: idSelectGuideBar.hintText !== ""
            mText: idSelectGuideBar.hintText
            mTextSize: systemInfo.btnFontSize
        }
        BaseItem {
            anchors.verticalCenter: parent.verticalCenter
            mIconSource: imageInfo.img_001_btn_decision
            mText: idSelectGuideBar.decisionText
            mTextSize: systemInfo.btnFontSize
        }
    }
}
