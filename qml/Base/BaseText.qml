import QtQuick 2.6

// One line (or a wrapped block) of text in the application font.
Item {
    id: idBaseText
    property string mText: ""
    property int mFontSize: systemInfo.normalFontSize
    property color mColor: colorInfo.defaultTextColor
    property int mHAlign: Text.AlignLeft
    property int mVAlign: Text.AlignVCenter
    property int mElide: Text.ElideNone
    property bool mWrap: false
    property bool mOutline: false
    property bool mBold: false
    readonly property real paintedWidth: idText.paintedWidth
    readonly property real paintedHeight: idText.paintedHeight

    implicitWidth: idText.implicitWidth
    implicitHeight: idText.implicitHeight

    Text {
        id: idText
        anchors.fill: parent
        text: idBaseText.mText
        color: idBaseText.mColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idBaseText.mFontSize
        font.bold: idBaseText.mBold
        horizontalAlignment: idBaseText.mHAlign
        verticalAlignment: idBaseText.mVAlign
        elide: idBaseText.mElide
        wrapMode: idBaseText.mWrap ? Text.Wrap : Text.NoWrap
        style: idBaseText.mOutline ? Text.Outline : Text.Normal
        styleColor: colorInfo.black
    }
}
