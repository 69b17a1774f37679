import QtQuick 2.6

// An icon followed by a text.
Item {
    id: idBaseItem
    property string mIconSource: ""
    property string mText: ""
    property int mTextSize: systemInfo.normalFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property int mSpacing: systemInfo.itemFlexibleMargin

    implicitWidth: idRow.implicitWidth
    implicitHeight: Math.max(idIcon.implicitHeight, idLabel.implicitHeight)

    Row {
        id: idRow
        anchors.verticalCenter: parent.verticalCenter
        spacing: idBaseItem.mSpacing
        Image {
            id: idIcon
            anchors.verticalCenter: parent.verticalCenter
            source: idBaseItem.mIconSource
            visible: idBaseItem.mIconSource !== ""
        }
        BaseText {
            id: idLabel
            anchors.verticalCenter: parent.verticalCenter
            mText: idBaseItem.mText
            mTextSize: idBaseItem.mTextSize
            mTextColor: idBaseItem.mTextColor
        }
    }
}
