import QtQuick 2.6
import "../Base"

// First-scan screen: asks for the initial channel scan before anything else.
BaseComponent {
    id: idInit
    // Repaint counter advanced by the root window at each prepared report.
    property int idx: 0
    signal initScanRequested()

    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    // The initial scan from the prompt; the root window then hides it.
    function startScan() {
        if (ISDBtData.bInitialized || !ISDBtData.bPowerOn)
            return
        ISDBtEngine.execInitScan()
        initScanRequested()
    }

    // The button is the screen's focus whenever it shows; whether the screen
    // has the keys is the root window's call (it may stand under the antenna
    // short notice).
    onVisibleChanged: if (visible) idStart.focus = true
    onActiveFocusChanged: if (activeFocus && !idStart.activeFocus) idStart.forceActiveFocus()

    Rectangle {
        anchors.fill: parent
        color: colorInfo.bgColor
    }
    Item {
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        width: systemInfo.mainWidth
        height: systemInfo.mainHeight

        BaseBand {
            id: idBand
            mFirstText: stringInfo.strApp_HOME_INITIAL_SCAN
        }
        Text {
            objectName: "repaintCounter"
            anchors.top: idBand.bottom
            text: idInit.idx
            color: colorInfo.bgColor
            font.pixelSize: systemInfo.smallFontSize
        }
        Column {
            anchors.centerIn: parent
            width: parent.width
            spacing: systemInfo.scanTextHMargin
            BaseText {
                width: parent.width
                mText: stringInfo.strMsg_START_INITIAL_SCAN_MSG
                mWrap: true
                mHorizontalAlies: Text.AlignHCenter
                mTextSize: systemInfo.contentFontSize
            }
            BaseText {
                width: parent.width
                mText: stringInfo.strMsg_CHECK_ANTENNA_BEFORE_STARTING_MSG
                mWrap: true
                mHorizontalAlies: Text.AlignHCenter
                mTextSize: systemInfo.contentFontSize
            }
            BaseButton {
                id: idStart
                objectName: "startButton"
                anchors.horizontalCenter: parent.horizontalCenter
                focus: true
                mTouchEnable: true
                mText: stringInfo.strApp_START
                onClickOrKeySelected: idInit.startScan()
            }
        }
        ISDBtSelectGuideBar {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
        }
    }
}
