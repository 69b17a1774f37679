import QtQuick 2.6
import "../Base"

// Antenna short-circuit notice over everything.
BaseComponent {
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

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
            mText: systemInfo.isVEK_R410 ? stringInfo.strMsg_ANTENNA_SHORT_MSG_01 : stringInfo.strMsg_ANTENNA_SHORT_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.playStateFontSize
        }
        BaseText {
            width: parent.width
            mText: systemInfo.isVEK_R410 ? stringInfo.strMsg_ANTENNA_SHORT_MSG_02 : stringInfo.strMsg_CHECK_ANTENNA_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
    }
}
