import QtQuick 2.6
import "../Base"

// One hint and an exit button; touchable when asked.
BaseComponent {
    id: idExitGuideBar
    property string hintText: ""
    property string exitText: stringInfo.strApp_FINISH
    signal guideBarBtnClicked()

    width: Math.min(systemInfo.guideBarW, idRow.implicitWidth + 2 * systemInfo.guideBarHMargin)
    height: systemInfo.guideBarH
    onMouseClicked: guideBarBtnClicked()

    BaseImageBox { anchors.fill: parent; mFocused: idExitGuideBar.isMousePressed() }
    Row {
        id: idRow
        anchors.centerIn: parent
        spacing: systemInfo.guideBarHMargin
        BaseText {
            anchors.verticalCenter: parent.verticalCenter
            visible: idExitGuideBar.hintText !== ""
            mText: idExitGuideBar.hintText
            mTextSize: systemInfo.btnFontSize
        }
        BaseItem {
            anchors.verticalCenter: parent.verticalCenter
            mIconSource: imageInfo.img_001_btn_close
            mText: idExitGuideBar.exitText
            mTextSize: systemInfo.btnFontSize
        }
    }
}
