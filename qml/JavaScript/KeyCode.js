.pragma library
// Which Qt key stands for which remote-control key (the engine synthesises
// these events from the remote's codes; a desktop keyboard gives the same).

function isBackKey(event) { return event.key === Qt.Key_Backspace || event.key === Qt.Key_D }
function isSelectKey(event) { return event.key === Qt.Key_J || event.key === Qt.Key_Enter }
function isUpKey(event) { return event.key === Qt.Key_U }
function isDownKey(event) { return event.key === Qt.Key_M }
function isLeftKey(event) { return event.key === Qt.Key_H }
function isRightKey(event) { return event.key === Qt.Key_K }
function isDirectionKey(event) { return isUpKey(event) || isDownKey(event) || isLeftKey(event) || isRightKey(event) }

// A long press arrives with the Shift modifier; a key held on a desktop
// keyboard repeats, and its repeats count as a long press too.
function isLongPress(event) {
    return (event.modifiers & Qt.ShiftModifier) !== 0 || event.isAutoRepeat
}
