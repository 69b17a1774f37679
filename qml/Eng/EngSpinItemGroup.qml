import QtQuick 2.6

// Three spin rows of one switching direction; `focusIndex` marks the focused
// row (-1 none).
Column {
    id: idGroup
    property var names: ["", "", ""]
    property var values: [0, 0, 0]
    property var mins: [0, 0, 0]
    property var maxs: [0, 0, 0]
    property var formats: ["number", "number", "number"]
    property int focusIndex: -1

    function rowAt(row) { return idRepeater.itemAt(row) }

    Repeater {
        id: idRepeater
        model: 3
        EngSpinItem {
            width: idGroup.width
            mName: idGroup.names[index]
            mValue: idGroup.values[index]
            mMin: idGroup.mins[index]
            mMax: idGroup.maxs[index]
            mFormat: idGroup.formats[index]
            mFocused: idGroup.focusIndex === index
        }
    }
}
