import QtQuick 2.6
import "../Base"

// A titled engineering panel: the title line, then the panel's rows.
Item {
    id: idPanel
    property string title: ""
    property color textColor: colorInfo.engTextColor
    default property alias content: idContent.data
    readonly property alias titleText: idTitle.mText

    BaseText {
        id: idTitle
        objectName: "panelTitle"
        width: parent.width
        height: systemInfo.engTitleHeight
        mText: idPanel.title
        mTextSize: systemInfo.engFontSize
        mTextColor: idPanel.textColor
        mTextBold: true
        mElide: Text.ElideRight
    }
    Item {
        id: idContent
        anchors.top: idTitle.bottom
        anchors.bottom: parent.bottom
        width: parent.width
    }
}
