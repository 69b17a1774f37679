import QtQuick 2.6
import "../JavaScript/BoxLayout.js" as BoxLayout

// A non-interactive box whose width follows its icon and text (status lines,
// clock, volume): the same geometry as BaseBox without key handling.
Item {
    id: idFlexibleItem
    property string mText: ""
    property string mIconSource: ""
    property int mIconFixedWidth: 0
    property int mBoxMaxWidth: systemInfo.boxW
    property int mContentMargin: systemInfo.boxContentMargin
    property int mFirstTextMarginL: systemInfo.itemFlexibleMargin
    property int mTextAreaMargin: 2 * systemInfo.boxContentMargin
    property bool mFixedWrap: false
    property int mTextSize: systemInfo.statusBarFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property color mBgColor: colorInfo.transBgColor
    readonly property var layout: BoxLayout.compute({
        maxWidth: mBoxMaxWidth, contentMargin: mContentMargin,
        iconWidth: mIconSource === "" ? 0 : (mIconFixedWidth > 0 ? mIconFixedWidth : idIcon.implicitWidth),
        firstTextMarginL: mFirstTextMarginL, textWidth: idMeasure.implicitWidth,
        textHeight: idMeasure.implicitHeight, boxH: systemInfo.boxH, fixedWrap: mFixedWrap,
        leftWidth: mContentMargin, rightWidth: mContentMargin, textAreaMargin: mTextAreaMargin })

    width: layout.boxWidth
    height: systemInfo.boxH

    Text {
        id: idMeasure
        visible: false
        text: idFlexibleItem.mText
        font.family: systemInfo.fontOzb
        font.pixelSize: idFlexibleItem.mTextSize
    }
    Rectangle {
        anchors.fill: parent
        radius: systemInfo.sbIconBorderRadius
        color: idFlexibleItem.mBgColor
        opacity: colorInfo.statusBarOpacity
    }
    Image {
        id: idIcon
        anchors.left: parent.left
        anchors.leftMargin: idFlexibleItem.mContentMargin
        anchors.verticalCenter: parent.verticalCenter
        source: idFlexibleItem.mIconSource
        visible: idFlexibleItem.mIconSource !== ""
        height: Math.min(implicitHeight, parent.height)
        width: idFlexibleItem.mIconFixedWidth > 0 ? idFlexibleItem.mIconFixedWidth : implicitWidth
        fillMode: Image.PreserveAspectFit
    }
    Text {
        anchors.left: idIcon.visible ? idIcon.right : parent.left
        anchors.leftMargin: idIcon.visible ? idFlexibleItem.mFirstTextMarginL : idFlexibleItem.mContentMargin
        anchors.right: parent.right
        anchors.rightMargin: idFlexibleItem.mContentMargin
        anchors.verticalCenter: parent.verticalCenter
        text: idFlexibleItem.mText
        color: idFlexibleItem.mTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idFlexibleItem.mTextSize
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
    }
}
