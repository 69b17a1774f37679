import QtQuick 2.6

// A text that takes its own width up to maxWidth. Without mFixedWrap a longer
// text wraps, left-aligned, at maxWidth; with it the text stays on one line,
// elided on the right, at maxWidth.
Item {
    id: idFlexibleText
    property string mText: ""
    property int maxWidth: systemInfo.mainWidth
    property bool mFixedWrap: false
    property int mTextSize: systemInfo.normalFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property bool mOutline: false
    property int mHorizontalAlies: Text.AlignLeft
    readonly property bool isWrapped: !mFixedWrap && idMeasure.implicitWidth > maxWidth

    width: mFixedWrap || idMeasure.implicitWidth > maxWidth ? maxWidth : Math.ceil(idMeasure.implicitWidth)
    height: isWrapped ? Math.ceil(idText.paintedHeight) : Math.ceil(idMeasure.implicitHeight)

    Text {
        id: idMeasure
        visible: false
        text: idFlexibleText.mText
        font.family: systemInfo.fontOzb
        font.pixelSize: idFlexibleText.mTextSize
    }
    Text {
        id: idText
        width: idFlexibleText.width
        text: idFlexibleText.mText
        color: idFlexibleText.mTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idFlexibleText.mTextSize
        wrapMode: idFlexibleText.isWrapped ? Text.Wrap : Text.NoWrap
        elide: idFlexibleText.mFixedWrap ? Text.ElideRight : Text.ElideNone
        horizontalAlignment: idFlexibleText.isWrapped ? Text.AlignLeft : idFlexibleText.mHorizontalAlies
        style: idFlexibleText.mOutline ? Text.Outline : Text.Normal
        styleColor: colorInfo.black
    }
}
