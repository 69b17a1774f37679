import QtQuick 2.6
import "../../Base"

// Weak-reception notice, and while the receiver looks for the station on its
// second stream, the switching line.
Item {
    id: idWeakSignal
    property bool switching: false
    property int dots: 1

    onVisibleChanged: if (visible) dots = 1

    Timer {
        interval: 1000
        repeat: true
        running: idWeakSignal.visible && systemInfo.isQM_NRV2Z_MAX
        onTriggered: idWeakSignal.dots = idWeakSignal.dots >= 3 ? 1 : idWeakSignal.dots + 1
    }

    BaseText {
        visible: !systemInfo.isQM_NRV2Z_MAX
        anchors.centerIn: parent
        mText: stringInfo.strMsg_LOW_RECEPTION_LEVEL_MSG
        mTextSize: systemInfo.playStateFontSize
        mOutline: true
    }
    BaseText {
        visible: !systemInfo.isQM_NRV2Z_MAX && idWeakSignal.switching
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 2 * systemInfo.boxH + systemInfo.volVSpace
        mText: stringInfo.strMsg_CHANNEL_SWITCHING
        mTextSize: systemInfo.contentFontSize
        mOutline: true
    }
    BaseBoxTitle {
        objectName: "weakBox"
        visible: systemInfo.isQM_NRV2Z_MAX
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        mText: stringInfo.strMsg_LOW_RECEPTION_LEVEL_MSG_01 + ".".repeat(idWeakSignal.dots)
        mBoxMaxWidth: Math.floor(systemInfo.mainWidth * 2 / 3)
    }
    // Above the clock and volume boxes, which share the bottom-right corner.
    BaseBoxTitle {
        visible: systemInfo.isQM_NRV2Z_MAX && idWeakSignal.switching
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 2 * systemInfo.boxH + systemInfo.volVSpace
        mText: stringInfo.strMsg_CHANNEL_SWITCHING
        mBoxMaxWidth: Math.floor(systemInfo.mainWidth / 3)
    }
}
