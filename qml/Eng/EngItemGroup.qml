import QtQuick 2.6

// A column of up to 15 engineering rows; row i shows names[i], values[i]
// and, when highlights[i] is true, a highlight band.
Column {
    id: idGroup
    property var names: []
    property var values: []
    property var highlights: []
    // Rows shown.
    property int count: names.length
    property int leftRatio: 5
    property color textColor: colorInfo.engTextColor

    // The value text of row `row` as shown (tests read it).
    function valueAt(row) { return row < idRepeater.count ? idRepeater.itemAt(row).mValue : "" }
    function nameAt(row) { return row < idRepeater.count ? idRepeater.itemAt(row).mName : "" }

    Repeater {
        id: idRepeater
        model: Math.min(idGroup.count, 15)
        EngItem {
            width: idGroup.width
            mName: idGroup.names[index] !== undefined ? idGroup.names[index] : ""
            mValue: idGroup.values[index] !== undefined ? String(idGroup.values[index]) : ""
            mHighlight: idGroup.highlights[index] === true
            leftRatio: idGroup.leftRatio
            textColor: idGroup.textColor
        }
    }
}
