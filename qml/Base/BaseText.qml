import QtQuick 2.6

// One line (or a wrapped block) of text in the application font.
Item {
    id: idBaseText
    property string mText: ""
    property int mTextSize: systemInfo.normalFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property int mHorizontalAlies: Text.AlignLeft
    property int mVAlign: Text.AlignVCenter
    property int mElide: Text.ElideNone
    property bool mWrap: false
    property bool mOutline: false
    property bool mTextBold: false
    readonly property real paintedWidth: idText.paintedWidth
    readonly property real paintedHeight: idText.paintedHeight

    implicitWidth: idText.implicitWidth
    implicitHeight: idText.implicitHeight

    Text {
        id: idText
        anchors.fill: parent
        text: idBaseText.mText
        color: idBaseText.mTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idBaseText.mTextSize
        font.bold: idBaseText.mTextBold
        horizontalAlignment: idBaseText.mHorizontalAlies
        verticalAlignment: idBaseText.mVAlign
        elide: idBaseText.mElide
        wrapMode: idBaseText.mWrap ? Text.Wrap : Text.NoWrap
        style: idBaseText.mOutline ? Text.Outline : Text.Normal
        styleColor: colorInfo.black
    }
}
