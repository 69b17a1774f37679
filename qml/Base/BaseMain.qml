import QtQuick 2.6
import "../JavaScript/KeyCode.js" as KeyCode

// Root key decoder: turns the Qt key events that stand for remote-control
// keys into named signals, with the long-press repeat of volume, direction,
// channel, segment-type and HDMI keys.
FocusScope {
    id: idBaseMain
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    signal numberPressed(int number)
    signal volumeUpLongKeyPressed()
    signal volumeUpReleased()
    signal volumeDownLongKeyPressed()
    signal volumeDownReleased()
    signal channelUpPressed()
    signal channelUpLongKeyPressed()
    signal channelUpReleased()
    signal channelDownPressed()
    signal channelDownLongKeyPressed()
    signal channelDownReleased()
    signal chListPressed()
    signal homeListPressed()
    signal epgPressed()
    signal searchPressed()
    signal menuPressed()
    signal backPressed()
    signal okPressed()
    signal okReleased()
    signal allScanPressed()
    signal chInfoPressed()
    signal scanPressed()
    signal upLongKeyPressed()
    signal upKeyReleased()
    signal downLongKeyPressed()
    signal downKeyReleased()
    signal leftLongKeyPressed()
    signal leftKeyReleased()
    signal rightLongKeyPressed()
    signal rightKeyReleased()
    signal mutePressed()
    signal bilingualPressed()
    signal segTypeLongKeyPressed()
    signal segTypeReleased()
    signal powerPressed()
    signal powerReleased()
    signal hdmiLongKeyPressed()
    signal hdmiReleased()
    signal keyCanceled()
    // Every remote key that reaches the root, before its own signal.
    signal anyKeyPressed(int key, bool isLong)
    signal anyKeyReleased(int key)

    // Key state: the pressed keys and the long-pressed keys by Qt key code.
    property var pressedKeys: ({})
    property var longPressedKeys: ({})
    property bool isKeyPressed: false
    property bool isKeyReleased: false
    property bool isLongKey: false
    property int longKeyCode: 0
    property int longKeyCnt: 0
    property int longKeyInterval: systemInfo.longKeyInterval

    function isBackKey(event) { return KeyCode.isBackKey(event) }
    function isSelectKey(event) { return KeyCode.isSelectKey(event) }
    function isUpKey(event) { return KeyCode.isUpKey(event) }
    function isDownKey(event) { return KeyCode.isDownKey(event) }
    function isLeftKey(event) { return KeyCode.isLeftKey(event) }
    function isRightKey(event) { return KeyCode.isRightKey(event) }

    // True while `key` is held down (and was not cancelled).
    function isKeyDown(key) { return pressedKeys[key] === true }

    function clearKeyState() {
        pressedKeys = {}
        longPressedKeys = {}
        isKeyPressed = false
        isLongKey = false
    }

    function stopLongKey() {
        idLongKeyTimer.stop()
        longKeyCode = 0
        longKeyCnt = 0
    }

    function cancelKeys() {
        stopLongKey()
        clearKeyState()
        keyCanceled()
    }

    // Short presses: the signal each key emits on its press.
    function emitShortPress(key) {
        if (key >= Qt.Key_F1 && key <= Qt.Key_F12) {
            numberPressed(key - Qt.Key_F1 + 1)
            return true
        }
        switch (key) {
        case Qt.Key_PageUp: channelUpPressed(); return true
        case Qt.Key_PageDown: channelDownPressed(); return true
        case Qt.Key_Q: chListPressed(); return true
        case Qt.Key_A: homeListPressed(); return true
        case Qt.Key_W: epgPressed(); return true
        case Qt.Key_F: searchPressed(); return true
        case Qt.Key_S: menuPressed(); return true
        case Qt.Key_D:
        case Qt.Key_Backspace: backPressed(); return true
        case Qt.Key_J:
        case Qt.Key_Enter: okPressed(); return true
        case Qt.Key_C: allScanPressed(); return true
        case Qt.Key_E: chInfoPressed(); return true
        case Qt.Key_V: scanPressed(); return true
        case Qt.Key_X: mutePressed(); return true
        case Qt.Key_Z: bilingualPressed(); return true
        case Qt.Key_P: powerPressed(); return true
        case Qt.Key_BracketRight:
        case Qt.Key_BracketLeft:
        case Qt.Key_U:
        case Qt.Key_M:
        case Qt.Key_H:
        case Qt.Key_K:
        case Qt.Key_O:
        case Qt.Key_R: return true
        }
        return false
    }

    function emitRelease(key) {
        switch (key) {
        case Qt.Key_BracketRight: volumeUpReleased(); break
        case Qt.Key_BracketLeft: volumeDownReleased(); break
        case Qt.Key_PageUp: channelUpReleased(); break
        case Qt.Key_PageDown: channelDownReleased(); break
        case Qt.Key_J:
        case Qt.Key_Enter: okReleased(); break
        case Qt.Key_U: upKeyReleased(); break
        case Qt.Key_M: downKeyReleased(); break
        case Qt.Key_H: leftKeyReleased(); break
        case Qt.Key_K: rightKeyReleased(); break
        case Qt.Key_O: segTypeReleased(); break
        case Qt.Key_P: powerReleased(); break
        case Qt.Key_R: hdmiReleased(); break
        }
    }

    // Keys of the remote's table.
    function isTableKey(key) {
        if (key >= Qt.Key_F1 && key <= Qt.Key_F12)
            return true
        return [Qt.Key_BracketRight, Qt.Key_BracketLeft, Qt.Key_PageUp, Qt.Key_PageDown, Qt.Key_Q, Qt.Key_A,
                Qt.Key_W, Qt.Key_F, Qt.Key_S, Qt.Key_D, Qt.Key_Backspace, Qt.Key_J, Qt.Key_Enter, Qt.Key_C,
                Qt.Key_E, Qt.Key_V, Qt.Key_U, Qt.Key_M, Qt.Key_H, Qt.Key_K, Qt.Key_X, Qt.Key_Z, Qt.Key_O,
                Qt.Key_P, Qt.Key_R].indexOf(key) >= 0
    }

    // Keys whose long press repeats (or fires once) on the long-key timer.
    function isRepeatingKey(key) {
        switch (key) {
        case Qt.Key_BracketRight:
        case Qt.Key_BracketLeft:
        case Qt.Key_PageUp:
        case Qt.Key_PageDown:
        case Qt.Key_U:
        case Qt.Key_M:
        case Qt.Key_H:
        case Qt.Key_K:
        case Qt.Key_O:
        case Qt.Key_R: return true
        }
        return false
    }

    function onLongKeyTick() {
        if (!isLongKey) {
            longKeyCnt = 0
            return
        }
        longKeyCnt = longKeyCnt >= 12 ? 1 : longKeyCnt + 1
        switch (longKeyCode) {
        case Qt.Key_BracketRight: volumeUpLongKeyPressed(); break
        case Qt.Key_BracketLeft: volumeDownLongKeyPressed(); break
        case Qt.Key_U: upLongKeyPressed(); break
        case Qt.Key_M: downLongKeyPressed(); break
        case Qt.Key_H: leftLongKeyPressed(); break
        case Qt.Key_K: rightLongKeyPressed(); break
        case Qt.Key_PageUp: if (longKeyCnt % 6 === 0) channelUpLongKeyPressed(); break
        case Qt.Key_PageDown: if (longKeyCnt % 6 === 0) channelDownLongKeyPressed(); break
        case Qt.Key_O:
            if (longKeyCnt > 4) {
                idLongKeyTimer.stop()
                longKeyCode = 0
                segTypeLongKeyPressed()
            }
            break
        case Qt.Key_R:
            if (longKeyCnt > 4) {
                idLongKeyTimer.stop()
                longKeyCode = 0
                hdmiLongKeyPressed()
            }
            break
        }
    }

    function handleKeyPress(event) {
        var key = event.key
        if (KeyCode.isLongPress(event)) {
            // A number key has no long form; a desktop repeat of a key that
            // already repeats adds nothing.
            if (!isTableKey(key))
                return false
            if (key >= Qt.Key_F1 && key <= Qt.Key_F12)
                return true
            if (event.isAutoRepeat && isLongKey && longPressedKeys[key] === true)
                return true
            if (event.isAutoRepeat && pressedKeys[key] !== true)
                return false
            anyKeyPressed(key, true)
            var longs = longPressedKeys
            longs[key] = true
            longPressedKeys = longs
            isLongKey = true
            longKeyCode = isRepeatingKey(key) ? key : 0
            longKeyCnt = 0
            idLongKeyTimer.restart()
            return true
        }
        if (!isTableKey(key))
            return false
        anyKeyPressed(key, false)
        var pressed = pressedKeys
        pressed[key] = true
        pressedKeys = pressed
        isKeyPressed = true
        isKeyReleased = false
        return emitShortPress(key)
    }

    function handleKeyRelease(event) {
        if (event.isAutoRepeat)
            return true
        var key = event.key
        if (!isTableKey(key))
            return false
        anyKeyReleased(key)
        var wasShort = pressedKeys[key] === true && longPressedKeys[key] !== true && !isLongKey
        stopLongKey()
        isKeyReleased = true
        if (wasShort)
            emitRelease(key)
        clearKeyState()
        return true
    }

    Keys.onPressed: event.accepted = handleKeyPress(event)
    Keys.onReleased: event.accepted = handleKeyRelease(event)

    Timer {
        id: idLongKeyTimer
        interval: idBaseMain.longKeyInterval
        repeat: true
        triggeredOnStart: true
        onTriggered: idBaseMain.onLongKeyTick()
    }

    Connections {
        target: typeof ISDBtEngine !== "undefined" ? ISDBtEngine : null
        function onSendKeyCancel() { idBaseMain.cancelKeys() }
    }
}
