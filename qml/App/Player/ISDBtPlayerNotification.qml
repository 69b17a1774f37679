import QtQuick 2.6
import "../../Base"
import "../"

// Shown instead of a picture: nothing while powered off; with an empty
// station list, the advice to check the antenna and a button to scan.
BaseComponent {
    id: idNotification
    readonly property bool noChannel: idAppMainProxy.powerOn && idAppMainProxy.prepared && idAppMainProxy.stationCount <= 0

    // What the notification needs of the root window, set by the screen.
    property QtObject idAppMainProxy: QtObject {
        property bool powerOn: true
        property bool prepared: false
        property int stationCount: 0
    }

    // The Start button takes the keys of the live-TV screen whenever the
    // advice stands there: the list turns out empty only when the engine is
    // prepared, or the power comes on, after the notification turned
    // visible. Gone, the advice lets go of them, so that OK on live TV does
    // not scan. Whether the screen itself has the keys is the root window's.
    readonly property bool startShown: visible && noChannel && !systemInfo.isVEK_R410
    focus: startShown

    BaseText {
        anchors.centerIn: parent
        visible: !idAppMainProxy.powerOn
        mText: ""
    }
    Column {
        anchors.centerIn: parent
        width: parent.width
        visible: idNotification.noChannel
        spacing: systemInfo.scanTextHMargin
        BaseText {
            objectName: "noChannelText"
            width: parent.width
            mText: stringInfo.strMsg_NO_RECEIVABLE_CHANNEL_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
        BaseText {
            width: parent.width
            visible: !systemInfo.isVEK_R410
            mText: stringInfo.strMsg_CHECK_ANTENNA_BEFORE_STARTING_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
        BaseButton {
            id: idStart
            objectName: "scanButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: !systemInfo.isVEK_R410
            focus: true
            mTouchEnable: true
            mText: stringInfo.strApp_START
            onClickOrKeySelected: ISDBtEngine.execScan()
        }
    }
    ISDBtSelectGuideBar {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: idNotification.noChannel && !systemInfo.isVEK_R410
        decisionText: stringInfo.strApp_START + " / " + stringInfo.strApp_DECISION
    }
}
