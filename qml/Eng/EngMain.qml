import QtQuick 2.6
import "../Base"

// Engineering overlay over live TV: the station and channel tables, the
// current service, the settings, the latest signal sample and, in threshold
// mode, the segment-switching thresholds with their editor. Back closes it
// and Select switches threshold mode, wherever the focus is inside it. The
// root window keeps the overlay's state (shown, threshold mode).
BaseComponent {
    id: idEngMain
    objectName: "engMain"
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight
    z: systemInfo.windowZ_max

    readonly property bool hasRoot: typeof idAppMain !== "undefined" && idAppMain !== null
    readonly property bool thresholdMode: hasRoot && idAppMain.bEngThresholdMode
    readonly property int hMargin: 40
    readonly property int vMargin: 20

    // --- value-to-text ---

    function pick(table, v) { return table[v] !== undefined ? table[v] : "Unknown" }
    function getStringType(v) { return String(v) }
    function getStringTypeDouble(v, n) { return Number(v).toFixed(n) }
    function getStringSettingMode(v) { return pick({ 0: "HOME", 1: "DRIVE", 2: "OTHER" }, v) }
    function getStringSettingSegMode(v) {
        return pick({ 0: "FSeg", 1: "1Seg", 2: "Auto", 3: "AutoOp1", 4: "AutoOpF" }, v)
    }
    function getStringAvailableSegType(v) { return pick({ 0: "FSeg", 1: "1Seg", 2: "Dual" }, v) }
    function getStringSettingBilingualMode(v) { return pick({ 0: "MAIN", 1: "SUB", 2: "BOTH" }, v) }
    function getStringSettingOnOff(v) { return v === 1 ? "ON" : "OFF" }
    function getStringSettingSearchType(v) { return v === 1 ? "RELAY" : "REL/AFF" }
    function getStringSegType(v) { return v === 1 ? "1Seg" : "FSeg" }
    function getStringAudioMode(v) { return pick({ 1: "Mono", 2: "Dual", 3: "Stereo" }, v) }
    function getStringAudioIndex(v) { return pick({ 0: "ES_1", 1: "ES_2", 2: "ES_3" }, v) }
    function getStringAudioSel(v) { return pick({ 0: "LEFT", 1: "RIGHT", 2: "LEFT/RIGHT" }, v) }
    function getStringSignalLevel(v) {
        return pick({ 0: "Weak", 1: "Lev1", 2: "Lev2", 3: "Lev3", 4: "Lev4", 5: "Lev5" }, v)
    }
    function getStringEnabled2TS(v) { return v === 0 ? "1TS" : "2TS" }
    function getStringAntenna(v) { return pick({ 0: "Connect", 1: "Short", 2: "Disconnect" }, v) }
    function getStringHdmiMode(v) { return pick({ 0: "480P", 1: "720P", 2: "1080P" }, v) }

    // --- keys ---

    function toggleThresholdMode() {
        if (hasRoot)
            idAppMain.bEngThresholdMode = !idAppMain.bEngThresholdMode
    }
    function close() {
        if (!hasRoot)
            return
        var app = idAppMain
        app.showHideEngInfo(false)
        app.focusCurrentScreen()
    }

    onBackKeyPressed: close()
    onClickOrKeySelected: toggleThresholdMode()
    Component.onCompleted: forceActiveFocus()

    Rectangle {
        anchors.fill: parent
        color: colorInfo.black
        opacity: colorInfo.engOpacity
    }
    Item {
        id: idArea
        x: idEngMain.hMargin
        y: idEngMain.vMargin
        width: parent.width - 2 * idEngMain.hMargin
        height: parent.height - 2 * idEngMain.vMargin
        readonly property int topHeight: Math.floor(height / 3)
        readonly property int tenth: Math.floor(width / 10)

        EngStationMain {
            objectName: "engStation"
            width: 5 * idArea.tenth
            height: idArea.topHeight
        }
        EngInfoMain {
            objectName: "engInfo"
            x: 5 * idArea.tenth
            width: idArea.width - x
            height: idArea.topHeight
        }
        EngChannelMain {
            objectName: "engChannel"
            y: idArea.topHeight
            width: 4 * idArea.tenth
            height: idArea.height - y
        }
        EngSettingInfoMain {
            objectName: "engSetting"
            x: 4 * idArea.tenth
            y: idArea.topHeight
            width: 2 * idArea.tenth
            height: idArea.height - y
        }
        EngCurrentInfoMain {
            objectName: "engCurrent"
            x: 6 * idArea.tenth
            y: idArea.topHeight
            width: 2 * idArea.tenth
            height: idArea.height - y
        }
        EngSignalInfoMain {
            objectName: "engSignal"
            x: 8 * idArea.tenth
            y: idArea.topHeight
            width: idArea.width - x
            height: idArea.height - y
        }

        // Threshold mode: both threshold panels over the lists.
        Item {
            id: idThreshold
            objectName: "engThreshold"
            width: 4 * idArea.tenth
            height: idArea.height
            visible: idEngMain.thresholdMode
            onVisibleChanged: if (!visible) idEngMain.forceActiveFocus()

            Rectangle {
                anchors.fill: parent
                color: colorInfo.whitesmoke
            }
            EngThresholdInfoMain {
                objectName: "engThresholdInfo"
                width: parent.width
                height: idArea.topHeight
                textColor: colorInfo.black
            }
            EngThresholdSettingMain {
                objectName: "engThresholdSetting"
                y: idArea.topHeight
                width: parent.width
                height: parent.height - y
                visible: idThreshold.visible
                onSelectPressed: idEngMain.toggleThresholdMode()
            }
        }
    }
}
