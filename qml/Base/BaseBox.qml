import QtQuick 2.6
import "../JavaScript/BoxLayout.js" as BoxLayout

// A three-slice box with an optional icon and a text; its width follows the
// text up to mBoxMaxWidth, past which it keeps that width and wraps the text.
BaseComponent {
    id: idBaseBox

    property string mText: ""
    property string mIconSource: ""
    property int mIconFixedWidth: 0
    property int mBoxMaxWidth: systemInfo.boxW
    property int mContentMargin: systemInfo.boxContentMargin
    property int mFirstTextMarginL: systemInfo.itemFlexibleMargin
    property int mTextAreaMargin: 2 * systemInfo.boxContentMargin
    property bool mFixedWrap: false
    property int mTextSize: systemInfo.menuBoxFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property int mTextHAlign: Text.AlignLeft
    property bool mSelected: false
    // The skin: "box" (default), "other" (programme box) or "title".
    property string mSkin: "box"

    readonly property int mLeftWidth: idSkin.mLeftWidth
    readonly property int mRightWidth: idSkin.mRightWidth
    readonly property var layout: BoxLayout.compute({
        maxWidth: mBoxMaxWidth, contentMargin: mContentMargin,
        iconWidth: mIconSource === "" ? 0 : (mIconFixedWidth > 0 ? mIconFixedWidth : idIcon.paintedWidth),
        firstTextMarginL: mFirstTextMarginL, textWidth: idMeasure.implicitWidth,
        textHeight: idMeasure.implicitHeight, boxH: systemInfo.boxH, fixedWrap: mFixedWrap,
        leftWidth: mLeftWidth, rightWidth: mRightWidth, textAreaMargin: mTextAreaMargin })

    function getBoxWidth() { return layout.boxWidth }

    width: layout.boxWidth
    height: layout.wrap ? Math.max(systemInfo.boxH, Math.ceil(idLabel.paintedHeight) + 2 * mContentMargin) : systemInfo.boxH

    Text {
        id: idMeasure
        visible: false
        text: idBaseBox.mText
        font.family: systemInfo.fontOzb
        font.pixelSize: idBaseBox.mTextSize
    }

    Loader {
        id: idSkinLoader
        anchors.fill: parent
        sourceComponent: idBaseBox.mSkin === "title" ? idTitleSkin : (idBaseBox.mSkin === "other" ? idOtherSkin : idBoxSkin)
    }
    Component { id: idBoxSkin; BaseImageBox { mFocused: idBaseBox.activeFocus; mSelected: idBaseBox.mSelected } }
    Component { id: idOtherSkin; BaseImageOtherBox { mFocused: idBaseBox.activeFocus; mSelected: idBaseBox.mSelected } }
    Component { id: idTitleSkin; BaseImageTitleBox { } }
    QtObject {
        id: idSkin
        readonly property int mLeftWidth: idSkinLoader.item ? idSkinLoader.item.mLeftWidth : 0
        readonly property int mRightWidth: idSkinLoader.item ? idSkinLoader.item.mRightWidth : 0
    }

    Image {
        id: idIcon
        anchors.left: parent.left
        anchors.leftMargin: idBaseBox.mContentMargin
        anchors.verticalCenter: parent.verticalCenter
        source: idBaseBox.mIconSource
        visible: idBaseBox.mIconSource !== ""
        width: idBaseBox.mIconFixedWidth > 0 ? idBaseBox.mIconFixedWidth : implicitWidth
        fillMode: Image.PreserveAspectFit
    }
    Text {
        id: idLabel
        anchors.left: idIcon.visible ? idIcon.right : parent.left
        anchors.leftMargin: idIcon.visible ? idBaseBox.mFirstTextMarginL : idBaseBox.mContentMargin
        anchors.verticalCenter: parent.verticalCenter
        width: idBaseBox.layout.fixed ? idBaseBox.layout.textRoom
                                      : idBaseBox.width - anchors.leftMargin - idBaseBox.mContentMargin
                                        - (idIcon.visible ? idIcon.width + idBaseBox.mContentMargin : 0)
        text: idBaseBox.mText
        color: idBaseBox.mTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idBaseBox.mTextSize
        wrapMode: idBaseBox.layout.wrap ? Text.Wrap : Text.NoWrap
        elide: idBaseBox.mFixedWrap ? Text.ElideRight : Text.ElideNone
        horizontalAlignment: idBaseBox.layout.wrap ? Text.AlignLeft : idBaseBox.mTextHAlign
    }
}
