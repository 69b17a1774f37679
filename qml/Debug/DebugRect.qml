import QtQuick 2.6

// A framed text over its parent, for layout work; shown only with debugOn.
Item {
    property string mText: ""
    property color mTextColor: colorInfo.red
    anchors.fill: parent
    visible: systemInfo.debugOn

    Rectangle {
        anchors.fill: parent
        color: colorInfo.transparent
        border.color: parent.mTextColor
        border.width: 1
    }
    Text {
        text: parent.mText
        color: parent.mTextColor
        font.pixelSize: systemInfo.engFontSize
    }
}
