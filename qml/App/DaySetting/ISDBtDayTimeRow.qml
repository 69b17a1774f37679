import QtQuick 2.6
import "../../Base"

// One row of the day or the hour list: box and text, with the up arrow on the
// top visible row and the down arrow on the bottom one while the list has
// focus and more than one row.
Item {
    id: idRow
    property var list: null
    property int rowIndex: 0
    property string text: ""
    property bool hasFocus: false
    // Marks the current row as selected instead of focused (list without focus).
    property bool markSelected: false

    readonly property bool current: list !== null && list.currentIndex === rowIndex
    readonly property bool arrowsShown: hasFocus && list !== null && list.count > 1
    readonly property int topRow: list ? Math.max(0, list.indexAt(list.contentX + 10, list.contentY + 10)) : 0
    readonly property int bottomRow: {
        if (!list)
            return 0
        var row = list.indexAt(list.contentX + 10, list.contentY + list.height - 10)
        return row >= 0 ? row : list.count - 1
    }
    width: list ? list.width : 0
    height: systemInfo.listItemHeight

    BaseImageBox {
        anchors.fill: parent
        anchors.margins: Math.floor(systemInfo.defaultMargin / 2)
        mFocused: idRow.current && idRow.hasFocus
        mSelected: idRow.current && idRow.markSelected
    }
    BaseText {
        x: systemInfo.boxContentMargin
        height: parent.height
        mText: idRow.text
    }
    Image {
        objectName: "arrowUp"
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.boxContentMargin
        anchors.verticalCenter: parent.verticalCenter
        source: imageInfo.img_04_day_setting_arrow_up
        visible: idRow.arrowsShown && idRow.rowIndex === idRow.topRow
    }
    Image {
        objectName: "arrowDown"
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.boxContentMargin
        anchors.verticalCenter: parent.verticalCenter
        source: imageInfo.img_04_day_setting_arrow_down
        visible: idRow.arrowsShown && idRow.rowIndex === idRow.bottomRow
    }
}
