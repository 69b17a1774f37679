import QtQuick 2.6
import "../../Base"
import "../"

// Scan panel: title band, progress and how to stop the scan.
Item {
    id: idScan
    property string scanTitle: stringInfo.strApp_ALL_SCAN
    property int percent: 0
    property bool isInitialScan: false
    property bool isRefreshScan: false
    readonly property string exitName: isRefreshScan ? stringInfo.strApp_BACK : scanTitle
    readonly property string quitText: ISDBtData.nLanguage === 1
                                       ? stringInfo.strMsg_TO_QUIT_PUSH_BUTTON_01_MSG + stringInfo.strMsg_TO_QUIT_PUSH_BUTTON_02_MSG
                                         + " (" + scanTitle + ")"
                                       : stringInfo.strMsg_TO_QUIT_PUSH_BUTTON_01_MSG + exitName
                                         + stringInfo.strMsg_TO_QUIT_PUSH_BUTTON_02_MSG

    Rectangle {
        x: -systemInfo.mainHMargin
        y: -systemInfo.mainVMargin
        width: systemInfo.lcdWidth
        height: systemInfo.lcdHeight
        color: colorInfo.bgColor
    }
    BaseBand {
        id: idBand
        objectName: "scanBand"
        mFirstText: idScan.scanTitle
    }
    Column {
        anchors.centerIn: parent
        width: parent.width
        spacing: systemInfo.scanTextHMargin
        BaseText {
            anchors.horizontalCenter: parent.horizontalCenter
            mText: stringInfo.strMsg_PLEASE_WAIT_MSG
            mTextSize: systemInfo.contentFontSize
        }
        ISDBtProgressBar {
            anchors.horizontalCenter: parent.horizontalCenter
            progressPercent: idScan.percent
        }
        BaseText {
            objectName: "scanPercent"
            anchors.horizontalCenter: parent.horizontalCenter
            mText: idScan.percent + " %"
            mTextSize: systemInfo.contentFontSize
        }
        BaseText {
            objectName: "scanQuitText"
            width: parent.width
            visible: !idScan.isInitialScan
            mText: idScan.quitText
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.smallFontSize
        }
        BaseText {
            width: parent.width
            visible: !idScan.isInitialScan
            mText: stringInfo.strMsg_SAVE_CHANNEL_UP_TO_END_POINT_MSG
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.smallFontSize
        }
    }
    ISDBtExitGuideBar {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: !idScan.isInitialScan
        exitText: idScan.exitName
        mTouchEnable: true
        onGuideBarBtnClicked: ISDBtEngine.execStopScan()
    }
}
