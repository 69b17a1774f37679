import QtQuick 2.6
import QtTest 1.1
import "../../qml/Base"

// The root key decoder: which signal each remote key gives on press, long
// press and release, and the long-press repeat.
Item {
    id: idTop
    width: 1280
    height: 720

    BaseMain {
        id: idMain
        focus: true
    }

    // Every signal of the decoder, counted by name.
    property var counts: ({})
    property var lastNumber: -1
    function bump(name) { var c = counts; c[name] = (c[name] || 0) + 1; counts = c }
    function count(name) { return counts[name] || 0 }

    Connections {
        target: idMain
        function onNumberPressed(number) { idTop.bump("numberPressed"); idTop.lastNumber = number }
        function onVolumeUpLongKeyPressed() { idTop.bump("volumeUpLongKeyPressed") }
        function onVolumeUpReleased() { idTop.bump("volumeUpReleased") }
        function onVolumeDownLongKeyPressed() { idTop.bump("volumeDownLongKeyPressed") }
        function onVolumeDownReleased() { idTop.bump("volumeDownReleased") }
        function onChannelUpPressed() { idTop.bump("channelUpPressed") }
        function onChannelUpLongKeyPressed() { idTop.bump("channelUpLongKeyPressed") }
        function onChannelUpReleased() { idTop.bump("channelUpReleased") }
        function onChannelDownPressed() { idTop.bump("channelDownPressed") }
        function onChannelDownLongKeyPressed() { idTop.bump("channelDownLongKeyPressed") }
        function onChannelDownReleased() { idTop.bump("channelDownReleased") }
        function onChListPressed() { idTop.bump("chListPressed") }
        function onHomeListPressed() { idTop.bump("homeListPressed") }
        function onEpgPressed() { idTop.bump("epgPressed") }
        function onSearchPressed() { idTop.bump("searchPressed") }
        function onMenuPressed() { idTop.bump("menuPressed") }
        function onBackPressed() { idTop.bump("backPressed") }
        function onOkPressed() { idTop.bump("okPressed") }
        function onOkReleased() { idTop.bump("okReleased") }
        function onAllScanPressed() { idTop.bump("allScanPressed") }
        function onChInfoPressed() { idTop.bump("chInfoPressed") }
        function onScanPressed() { idTop.bump("scanPressed") }
        function onUpLongKeyPressed() { idTop.bump("upLongKeyPressed") }
        function onUpKeyReleased() { idTop.bump("upKeyReleased") }
        function onDownLongKeyPressed() { idTop.bump("downLongKeyPressed") }
        function onDownKeyReleased() { idTop.bump("downKeyReleased") }
        function onLeftLongKeyPressed() { idTop.bump("leftLongKeyPressed") }
        function onLeftKeyReleased() { idTop.bump("leftKeyReleased") }
        function onRightLongKeyPressed() { idTop.bump("rightLongKeyPressed") }
        function onRightKeyReleased() { idTop.bump("rightKeyReleased") }
        function onMutePressed() { idTop.bump("mutePressed") }
        function onBilingualPressed() { idTop.bump("bilingualPressed") }
        function onSegTypeLongKeyPressed() { idTop.bump("segTypeLongKeyPressed") }
        function onSegTypeReleased() { idTop.bump("segTypeReleased") }
        function onPowerPressed() { idTop.bump("powerPressed") }
        function onPowerReleased() { idTop.bump("powerReleased") }
        function onHdmiLongKeyPressed() { idTop.bump("hdmiLongKeyPressed") }
        function onHdmiReleased() { idTop.bump("hdmiReleased") }
        function onKeyCanceled() { idTop.bump("keyCanceled") }
    }

    TestCase {
        name: "KeyDecoder"
        when: windowShown

        function init() {
            idMain.cancelKeys()
            idTop.counts = {}
            idTop.lastNumber = -1
            // Only the first tick comes from the timer; the tests step the rest.
            idMain.longKeyInterval = 3600000
            idMain.forceActiveFocus()
        }

        function totalSignals() {
            var n = 0
            for (var k in idTop.counts)
                n += idTop.counts[k]
            return n
        }

        // Presses a long key and waits for the timer's immediate first tick.
        function longPress(key) {
            keyPress(key)
            keyPress(key, Qt.ShiftModifier)
            tryCompare(idMain, "longKeyCnt", 1)
        }

        function test_shortPressAndReleaseSignals_data() {
            return [
                { tag: "ch up", key: Qt.Key_PageUp, press: "channelUpPressed", release: "channelUpReleased" },
                { tag: "ch down", key: Qt.Key_PageDown, press: "channelDownPressed", release: "channelDownReleased" },
                { tag: "list", key: Qt.Key_Q, press: "chListPressed", release: "" },
                { tag: "home", key: Qt.Key_A, press: "homeListPressed", release: "" },
                { tag: "epg", key: Qt.Key_W, press: "epgPressed", release: "" },
                { tag: "search", key: Qt.Key_F, press: "searchPressed", release: "" },
                { tag: "menu", key: Qt.Key_S, press: "menuPressed", release: "" },
                { tag: "back D", key: Qt.Key_D, press: "backPressed", release: "" },
                { tag: "back Backspace", key: Qt.Key_Backspace, press: "backPressed", release: "" },
                { tag: "ok J", key: Qt.Key_J, press: "okPressed", release: "okReleased" },
                { tag: "ok Enter", key: Qt.Key_Enter, press: "okPressed", release: "okReleased" },
                { tag: "all scan", key: Qt.Key_C, press: "allScanPressed", release: "" },
                { tag: "info", key: Qt.Key_E, press: "chInfoPressed", release: "" },
                { tag: "scan", key: Qt.Key_V, press: "scanPressed", release: "" },
                { tag: "mute", key: Qt.Key_X, press: "mutePressed", release: "" },
                { tag: "bilingual", key: Qt.Key_Z, press: "bilingualPressed", release: "" },
                { tag: "power", key: Qt.Key_P, press: "powerPressed", release: "powerReleased" },
                { tag: "vol up", key: Qt.Key_BracketRight, press: "", release: "volumeUpReleased" },
                { tag: "vol down", key: Qt.Key_BracketLeft, press: "", release: "volumeDownReleased" },
                { tag: "up", key: Qt.Key_U, press: "", release: "upKeyReleased" },
                { tag: "down", key: Qt.Key_M, press: "", release: "downKeyReleased" },
                { tag: "left", key: Qt.Key_H, press: "", release: "leftKeyReleased" },
                { tag: "right", key: Qt.Key_K, press: "", release: "rightKeyReleased" },
                { tag: "seg type", key: Qt.Key_O, press: "", release: "segTypeReleased" },
                { tag: "hdmi", key: Qt.Key_R, press: "", release: "hdmiReleased" },
                { tag: "not a remote key", key: Qt.Key_L, press: "", release: "" },
            ]
        }
        function test_shortPressAndReleaseSignals(data) {
            keyPress(data.key)
            compare(totalSignals(), data.press === "" ? 0 : 1)
            if (data.press !== "")
                compare(idTop.count(data.press), 1)
            keyRelease(data.key)
            compare(totalSignals(), (data.press === "" ? 0 : 1) + (data.release === "" ? 0 : 1))
            if (data.release !== "")
                compare(idTop.count(data.release), 1)
        }

        function test_numberKeysGiveOneToTwelveAndNothingWhenLong() {
            for (var n = 1; n <= 12; ++n) {
                keyClick(Qt.Key_F1 + n - 1)
                compare(idTop.lastNumber, n)
            }
            compare(idTop.count("numberPressed"), 12)
            keyPress(Qt.Key_F3, Qt.ShiftModifier)
            keyRelease(Qt.Key_F3)
            compare(idTop.count("numberPressed"), 12, "a long number key emits nothing")
        }

        function test_volumeAndDirectionsRepeatOnEveryTick_data() {
            return [
                { key: Qt.Key_BracketRight, signal: "volumeUpLongKeyPressed", release: "volumeUpReleased" },
                { key: Qt.Key_BracketLeft, signal: "volumeDownLongKeyPressed", release: "volumeDownReleased" },
                { key: Qt.Key_U, signal: "upLongKeyPressed", release: "upKeyReleased" },
                { key: Qt.Key_M, signal: "downLongKeyPressed", release: "downKeyReleased" },
                { key: Qt.Key_H, signal: "leftLongKeyPressed", release: "leftKeyReleased" },
                { key: Qt.Key_K, signal: "rightLongKeyPressed", release: "rightKeyReleased" },
            ]
        }
        function test_volumeAndDirectionsRepeatOnEveryTick(data) {
            longPress(data.key)
            compare(idTop.count(data.signal), 1)
            for (var i = 0; i < 4; ++i)
                idMain.onLongKeyTick()
            compare(idTop.count(data.signal), 5)
            keyRelease(data.key)
            compare(idTop.count(data.release), 0, "no release signal after a long press")
            compare(idMain.longKeyCode, 0)
            compare(idMain.longKeyCnt, 0)
        }

        function test_channelLongKeyFiresOnSixthAndTwelfthTickOfEachCycle() {
            longPress(Qt.Key_PageUp)
            var fired = []
            for (var tick = 2; tick <= 25; ++tick) {
                var before = idTop.count("channelUpLongKeyPressed")
                idMain.onLongKeyTick()
                if (idTop.count("channelUpLongKeyPressed") > before)
                    fired.push(tick)
            }
            compare(fired, [6, 12, 18, 24], "the count runs 1..12 and starts again at 1")
            keyRelease(Qt.Key_PageUp)
            compare(idTop.count("channelUpReleased"), 0)
            compare(idTop.count("channelUpPressed"), 1, "the short press before the hold")
        }

        function test_hdmiAndSegTypeFireOnceAtTheFifthTick_data() {
            return [
                { key: Qt.Key_R, signal: "hdmiLongKeyPressed", release: "hdmiReleased" },
                { key: Qt.Key_O, signal: "segTypeLongKeyPressed", release: "segTypeReleased" },
            ]
        }
        function test_hdmiAndSegTypeFireOnceAtTheFifthTick(data) {
            longPress(data.key)
            for (var tick = 2; tick <= 4; ++tick)
                idMain.onLongKeyTick()
            compare(idTop.count(data.signal), 0)
            idMain.onLongKeyTick()
            compare(idTop.count(data.signal), 1)
            for (var i = 0; i < 20; ++i)
                idMain.onLongKeyTick()
            compare(idTop.count(data.signal), 1, "once however long the key is held")
            keyRelease(data.key)
            compare(idTop.count(data.release), 0)
        }

        function test_realTimerRepeatsVolume() {
            idMain.longKeyInterval = 10
            keyPress(Qt.Key_BracketRight, Qt.ShiftModifier)
            tryVerify(function() { return idTop.count("volumeUpLongKeyPressed") >= 3 }, 2000)
            keyRelease(Qt.Key_BracketRight)
            var n = idTop.count("volumeUpLongKeyPressed")
            wait(50)
            compare(idTop.count("volumeUpLongKeyPressed"), n, "the release stops the repeat")
        }

        function test_longPowerPressGivesNoPowerRelease() {
            keyPress(Qt.Key_P)
            keyPress(Qt.Key_P, Qt.ShiftModifier)
            keyRelease(Qt.Key_P)
            compare(idTop.count("powerPressed"), 1)
            compare(idTop.count("powerReleased"), 0)
        }

        function test_keyCancelStopsTheRepeatAndSwallowsTheRelease() {
            longPress(Qt.Key_U)
            verify(idMain.isLongKey)
            ISDBtEngine.sendKeyCancel()
            compare(idTop.count("keyCanceled"), 1)
            verify(!idMain.isLongKey)
            compare(idMain.longKeyCode, 0)
            idMain.onLongKeyTick()
            compare(idTop.count("upLongKeyPressed"), 1, "no tick acts after the cancel")
            keyRelease(Qt.Key_U)
            compare(idTop.count("upKeyReleased"), 0)

            keyPress(Qt.Key_J)
            ISDBtEngine.sendKeyCancel()
            keyRelease(Qt.Key_J)
            compare(idTop.count("okReleased"), 0, "a cancelled short press has no release either")
        }

        function test_keyStateFlagsFollowPressAndRelease() {
            keyPress(Qt.Key_C)
            verify(idMain.isKeyDown(Qt.Key_C))
            verify(idMain.isKeyPressed)
            keyRelease(Qt.Key_C)
            verify(!idMain.isKeyDown(Qt.Key_C))
            verify(idMain.isKeyReleased)
        }

        function test_desktopKeyRepeatActsAsLongPress() {
            // A held desktop key repeats press/release pairs marked auto-repeat.
            keyPress(Qt.Key_PageDown)
            for (var i = 0; i < 3; ++i) {
                idMain.handleKeyPress({ key: Qt.Key_PageDown, modifiers: Qt.NoModifier, isAutoRepeat: true })
                idMain.handleKeyRelease({ key: Qt.Key_PageDown, modifiers: Qt.NoModifier, isAutoRepeat: true })
            }
            verify(idMain.isLongKey)
            compare(idMain.longKeyCode, Qt.Key_PageDown)
            compare(idTop.count("channelDownPressed"), 1)
            tryCompare(idMain, "longKeyCnt", 1)
            keyRelease(Qt.Key_PageDown)
            compare(idTop.count("channelDownReleased"), 0)
        }

        function test_classifiers() {
            verify(idMain.isBackKey({ key: Qt.Key_Backspace }))
            verify(idMain.isBackKey({ key: Qt.Key_D }))
            verify(!idMain.isBackKey({ key: Qt.Key_Escape }))
            verify(idMain.isSelectKey({ key: Qt.Key_J }))
            verify(idMain.isSelectKey({ key: Qt.Key_Enter }))
            verify(idMain.isUpKey({ key: Qt.Key_U }))
            verify(idMain.isDownKey({ key: Qt.Key_M }))
            verify(idMain.isLeftKey({ key: Qt.Key_H }))
            verify(idMain.isRightKey({ key: Qt.Key_K }))
        }
    }
}
