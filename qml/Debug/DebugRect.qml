import QtQuick 2.6

// A framed text over its parent, for layout work; shown only with debugOn.
Item {
    property string mText: ""
    property color mColor: colorInfo.red
    anchors.fill: parent
    visible: systemInfo.debugOn

    Rectangle {
        anchors.fill: parent
        color: colorInfo.transparent
        border.color: parent.mColor
        border.width: 1
    }
    Text {
        text: parent.mText
        color: parent.mColor
        font.pixelSize: systemInfo.engFontSize
    }
}
