import QtQuick 2.6
import "../Base"

// A black box in the middle of the screen with one centred line of text.
Rectangle {
    id: idCaution
    property string mText: ""

    width: Math.floor(systemInfo.lcdWidth / 2)
    height: Math.floor(systemInfo.lcdHeight / 2)
    color: colorInfo.black

    BaseText {
        objectName: "cautionText"
        anchors.fill: parent
        mText: idCaution.mText
        mTextSize: systemInfo.factoryLargeFontSize
        mTextColor: colorInfo.grey
        mHorizontalAlies: Text.AlignHCenter
    }
}
