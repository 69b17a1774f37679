import QtQuick 2.6
import "../Base"

// Notice that the chosen HDMI resolution is not available on the display.
BaseComponent {
    id: idCaution
    signal hideRequested(int inputType)
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight
    mTouchEnable: true
    onBackKeyPressed: hideRequested(systemInfo.inputKey)
    onClickOrKeySelected: hideRequested(inputType)

    Rectangle {
        anchors.fill: parent
        color: colorInfo.bgColor
    }
    Column {
        anchors.centerIn: parent
        width: systemInfo.mainWidth
        spacing: systemInfo.defaultVSpace
        BaseText {
            width: parent.width
            mText: stringInfo.strMsg_HDMI_RESOLUTION_CAUTION_MSG_01
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
        BaseText {
            width: parent.width
            mText: stringInfo.strMsg_HDMI_RESOLUTION_CAUTION_MSG_02
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
    }
}
