import QtQuick 2.6
import "../JavaScript/BoxLayout.js" as BoxLayout

// Vertical scroll bar of a list: bar length by the visible share of rows,
// position by the current row.
Item {
    id: idScroll
    property Item scrollArea: null
    property int itemCnt: 0
    property int itemCntOnScreen: 1
    property int currentIndex: 0
    property int minBarSize: 10
    readonly property var bar: BoxLayout.scrollBar(height, itemCnt, itemCntOnScreen, currentIndex, minBarSize)

    width: systemInfo.sbIconBorderWidth * 3
    height: scrollArea ? scrollArea.height : 0

    Rectangle {
        anchors.fill: parent
        color: colorInfo.textColor2
        radius: width / 2
    }
    Rectangle {
        width: parent.width
        y: idScroll.bar.pos
        height: idScroll.bar.size
        color: colorInfo.pressedTextColor
        radius: width / 2
    }
}
