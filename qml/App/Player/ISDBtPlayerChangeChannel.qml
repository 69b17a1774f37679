import QtQuick 2.6
import "../../Base"

// Channel-change banner, bottom left: "changing" while the tune is pending,
// then "receiving" until the picture comes.
BaseComponent {
    id: idChangeChannel
    property bool readyToChannelChange: false
    property int lcn: 0
    property int threeDigitNum: 0
    property string chName: ""
    readonly property string stateText: systemInfo.isQM_NRV2Z_MAX
                                        ? (ISDBtData.nVideoDelay === 0 ? stringInfo.strMsg_CHANNEL_CHANGING_02
                                                                       : stringInfo.strMsg_CHANNEL_CHANGING)
                                        : (readyToChannelChange ? stringInfo.strMsg_CHANNEL_CHANGING
                                                                : stringInfo.strMsg_CHANNEL_RECEIVING)
    signal touchPanelRequested()

    mTouchEnable: true
    onMouseClicked: touchPanelRequested()

    BaseBoxTitle {
        objectName: "changeChannelBox"
        visible: systemInfo.isQM_NRV2Z_MAX
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        mText: idChangeChannel.stateText
        mBoxMaxWidth: systemInfo.mainWidth
    }
    BaseText {
        objectName: "changeChannelText"
        visible: !systemInfo.isQM_NRV2Z_MAX
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        mText: idChangeChannel.stateText
        mTextSize: systemInfo.playStateFontSize
        mOutline: true
    }
}
