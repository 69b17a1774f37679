import QtQuick 2.6
import "../Base"

// One engineering row: name, ":" and the value, elided at the right; a
// highlighted row stands on a light-pink band.
Item {
    id: idEngItem
    property string mName: ""
    property string mValue: ""
    property bool mHighlight: false
    // Width of the name column in tenths of the row.
    property int leftRatio: 5
    property color textColor: colorInfo.engTextColor

    height: systemInfo.engDelegateHeight

    Rectangle {
        anchors.fill: parent
        visible: idEngItem.mHighlight
        color: colorInfo.lightpink
        opacity: colorInfo.opBgOpacity
    }
    BaseText {
        id: idName
        width: Math.floor(parent.width * idEngItem.leftRatio / 10)
        height: parent.height
        mText: idEngItem.mName
        mTextSize: systemInfo.engFontSize
        mTextColor: idEngItem.textColor
        mElide: Text.ElideRight
    }
    BaseText {
        id: idSeparator
        anchors.left: idName.right
        width: implicitWidth + Math.ceil(systemInfo.engFontSize / 3)
        height: parent.height
        mText: ":"
        mTextSize: systemInfo.engFontSize
        mTextColor: idEngItem.textColor
    }
    BaseText {
        objectName: "value"
        anchors.left: idSeparator.right
        anchors.right: parent.right
        height: parent.height
        mText: idEngItem.mValue
        mTextSize: systemInfo.engFontSize
        mTextColor: idEngItem.textColor
        mElide: Text.ElideRight
    }
}
