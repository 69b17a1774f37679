import QtQuick 2.6
import "../JavaScript/KeyCode.js" as KeyCode

// Base of the interactive widgets: the same key and touch behaviour for all.
// Select and direction presses are taken here; every other key, the back key
// and all releases travel on to the parents, so the root decoder sees them.
FocusScope {
    id: idBaseComponent

    property bool mEnabled: true
    property bool isExited: false
    property bool isPressAndHold: false
    property bool mTouchEnable: false

    signal clickPressed()
    signal clickReleased()
    signal mouseClicked()
    signal mouseExit()
    signal mouseCancel()
    signal clickPressAndHold()
    signal mousePosChanged(int x, int y)
    signal clickOrKeyPosition(int x, int y)
    signal clickOrKeySelected(int inputType)
    signal backKeyPressed()
    signal upKeyPressed()
    signal downKeyPressed()
    signal leftKeyPressed()
    signal rightKeyPressed()
    signal upKeyReleased()
    signal downKeyReleased()
    signal leftKeyReleased()
    signal rightKeyReleased()

    function isMousePressed() { return idMouseArea.pressed }

    function isOwnKey(event) {
        return KeyCode.isBackKey(event) || KeyCode.isSelectKey(event) || KeyCode.isDirectionKey(event)
    }

    Keys.onPressed: {
        event.accepted = false
        if (!isOwnKey(event))
            return
        if (KeyCode.isLongPress(event)) {
            isPressAndHold = true
            clickPressAndHold()
            return
        }
        clickPressed()
        mouseExit()
        if (KeyCode.isBackKey(event)) {
            backKeyPressed()
        } else if (KeyCode.isSelectKey(event)) {
            if (mEnabled)
                clickOrKeySelected(systemInfo.inputKey)
            event.accepted = true
        } else {
            if (KeyCode.isUpKey(event))
                upKeyPressed()
            else if (KeyCode.isDownKey(event))
                downKeyPressed()
            else if (KeyCode.isLeftKey(event))
                leftKeyPressed()
            else
                rightKeyPressed()
            event.accepted = true
        }
    }

    Keys.onReleased: {
        event.accepted = false
        if (event.isAutoRepeat || !isOwnKey(event))
            return
        isPressAndHold = false
        mouseExit()
        clickReleased()
        if (KeyCode.isUpKey(event))
            upKeyReleased()
        else if (KeyCode.isDownKey(event))
            downKeyReleased()
        else if (KeyCode.isLeftKey(event))
            leftKeyReleased()
        else if (KeyCode.isRightKey(event))
            rightKeyReleased()
    }

    MouseArea {
        id: idMouseArea
        anchors.fill: parent
        enabled: idBaseComponent.mTouchEnable

        onPressed: {
            idBaseComponent.isExited = false
            idBaseComponent.isPressAndHold = false
            idBaseComponent.clickPressed()
        }
        onPressAndHold: {
            idBaseComponent.isPressAndHold = true
            idBaseComponent.clickPressAndHold()
        }
        onPositionChanged: {
            idBaseComponent.mousePosChanged(mouse.x, mouse.y)
            var inside = mouse.x >= 0 && mouse.y >= 0 && mouse.x < width && mouse.y < height
            if (pressed && !inside && !idBaseComponent.isExited) {
                idBaseComponent.isExited = true
                idBaseComponent.mouseExit()
            }
        }
        onReleased: {
            // A touch that left the component before the release selects nothing.
            if (idBaseComponent.isExited || !idBaseComponent.mEnabled)
                return
            idBaseComponent.clickOrKeySelected(systemInfo.inputTouch)
            idBaseComponent.clickReleased()
            idBaseComponent.clickOrKeyPosition(mouse.x, mouse.y)
            idBaseComponent.mouseClicked()
        }
        onCanceled: idBaseComponent.mouseCancel()
    }
}
