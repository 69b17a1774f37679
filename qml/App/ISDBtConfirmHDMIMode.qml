import QtQuick 2.6
import "../Base"

// Question before changing the HDMI output resolution (the box restarts).
BaseComponent {
    id: idConfirm
    signal hideRequested()
    signal cautionRequested()

    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    function answerYes() {
        if (systemInfo.isVEK_R410) {
            if (ISDBtEngine.checkAvailableHdmiResolution()) {
                ISDBtEngine.changeHDMIMode()
                hideRequested()
            } else {
                hideRequested()
                cautionRequested()
            }
            return
        }
        ISDBtEngine.changeHDMIMode()
        hideRequested()
    }

    // Yes is focused first each time; whether the question has the keys is
    // the root window's call (it may stand under a popup).
    onVisibleChanged: if (visible) idYes.focus = true
    onBackKeyPressed: hideRequested()

    Rectangle {
        anchors.fill: parent
        color: colorInfo.bgColor
        opacity: 0.8
    }
    BaseImagePopupBox {
        id: idFrame
        anchors.centerIn: parent
        width: systemInfo.popupBoxW
        height: Math.max(systemInfo.popupBoxH, idColumn.implicitHeight + 2 * systemInfo.popupBtnVMargin)
    }
    Column {
        id: idColumn
        anchors.centerIn: parent
        width: idFrame.width - 2 * (idFrame.corner + systemInfo.defaultMargin)
        spacing: systemInfo.defaultVSpace
        BaseText {
            width: parent.width
            mText: stringInfo.strApp_CHANGE_RESOLUTION_QUESTION
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
        BaseText {
            width: parent.width
            mText: stringInfo.strMsg_AUTO_RESTART_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.smallFontSize
            mTextColor: colorInfo.textGray
        }
        BaseButton {
            id: idYes
            objectName: "yesButton"
            anchors.horizontalCenter: parent.horizontalCenter
            focus: true
            mTouchEnable: true
            mText: stringInfo.strApp_YES
            onUpKeyPressed: idNo.forceActiveFocus()
            onDownKeyPressed: idNo.forceActiveFocus()
            onClickOrKeySelected: idConfirm.answerYes()
        }
        BaseButton {
            id: idNo
            objectName: "noButton"
            anchors.horizontalCenter: parent.horizontalCenter
            mTouchEnable: true
            mText: stringInfo.strApp_NO
            onUpKeyPressed: idYes.forceActiveFocus()
            onDownKeyPressed: idYes.forceActiveFocus()
            onClickOrKeySelected: idConfirm.hideRequested()
        }
    }
}
