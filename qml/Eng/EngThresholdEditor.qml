import QtQuick 2.6
import "../Base"

// The threshold editor of one automatic segment mode: the one-seg to
// full-seg group above the full-seg to one-seg group, three rows each (the
// first value, the period, the count). Down and Up walk the six rows without
// wrapping; Right and Left step the focused row's value within its range and
// hand the new value to the engine; the rows show only what the threshold
// object holds.
BaseComponent {
    id: idEditor
    // Name prefix of the rows, e.g. "[A]".
    property string prefix: ""
    // The one-seg to full-seg group starts with a CNR level (plain automatic
    // mode) instead of a PER sign.
    property bool firstIsCnr: false
    // The six values as the rows show them (the CNR level in tenths of a dB).
    property var values: [0, 0, 0, 0, 0, 0]
    // The engine's setters of the two groups.
    property var setters: ["", ""]
    property int focusRow: 0

    signal selectPressed()

    function rowName(row) {
        var direction = row < 3 ? "1Seg >> FSeg" : "FSeg >> 1Seg"
        var what = row % 3 === 1 ? " (Period)" : row % 3 === 2 ? " (Times)"
                 : (row === 0 && firstIsCnr ? " (CNR)" : " (PER)")
        return prefix + direction + what
    }
    function rowFormat(row) {
        if (row % 3 !== 0)
            return "number"
        return row === 0 && firstIsCnr ? "cnr" : "sign"
    }
    function rowMin(row) {
        if (row % 3 === 1)
            return 1
        return row === 0 && firstIsCnr ? 140 : 0
    }
    // Five samples per period step: the count's top follows the period row.
    function rowMax(row) {
        if (row % 3 === 1)
            return 5
        if (row % 3 === 2)
            return 5 * values[row - 1]
        return row === 0 && firstIsCnr ? 180 : 1
    }
    function step(delta) {
        // Each way checks only its own bound: a count above a lowered top
        // can still be brought down.
        var value = values[focusRow] + delta
        if (delta < 0 ? value < rowMin(focusRow) : value > rowMax(focusRow))
            return
        ISDBtEngine[setters[focusRow < 3 ? 0 : 1]](focusRow % 3, value)
    }
    function groupOf(first, fn) { return [fn(first), fn(first + 1), fn(first + 2)] }

    onVisibleChanged: if (visible) focusRow = 0
    onDownKeyPressed: if (focusRow < 5) focusRow = focusRow + 1
    onUpKeyPressed: if (focusRow > 0) focusRow = focusRow - 1
    onRightKeyPressed: step(1)
    onLeftKeyPressed: step(-1)
    onClickOrKeySelected: selectPressed()

    Column {
        anchors.fill: parent
        spacing: systemInfo.engDelegateHeight / 2
        EngSpinItemGroup {
            objectName: "upperGroup"
            width: parent.width
            names: idEditor.groupOf(0, idEditor.rowName)
            values: idEditor.values.slice(0, 3)
            mins: idEditor.groupOf(0, idEditor.rowMin)
            maxs: idEditor.groupOf(0, idEditor.rowMax)
            formats: idEditor.groupOf(0, idEditor.rowFormat)
            focusIndex: idEditor.focusRow < 3 ? idEditor.focusRow : -1
        }
        EngSpinItemGroup {
            objectName: "lowerGroup"
            width: parent.width
            names: idEditor.groupOf(3, idEditor.rowName)
            values: idEditor.values.slice(3, 6)
            mins: idEditor.groupOf(3, idEditor.rowMin)
            maxs: idEditor.groupOf(3, idEditor.rowMax)
            formats: idEditor.groupOf(3, idEditor.rowFormat)
            focusIndex: idEditor.focusRow >= 3 ? idEditor.focusRow - 3 : -1
        }
    }
}
