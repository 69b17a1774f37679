import QtQuick 2.6
import "../Base"

// Toast stack: up to four message lines (oldest on top), one setting-info
// line and one switching line. A text already standing is not added twice;
// a fifth text pushes the oldest out.
BaseComponent {
    id: idToast

    readonly property int maxSlots: 4
    property var messages: []
    property string settingInfoMsg: ""
    property string switchingMsg: ""

    // The switching line came or went; the root window keeps chSwitching.
    signal switchingChanged(bool bOn)
    signal hideRequested()

    // Returns false and changes nothing when the text already stands.
    function setMsg(text) {
        if (messages.indexOf(text) >= 0)
            return false
        var list = messages.slice()
        if (list.length >= maxSlots)
            list.shift()
        list.push(text)
        messages = list
        return true
    }
    function setSettingInfoMsg(text) {
        settingInfoMsg = text
        return true
    }
    function setSwitchingMsg(text) {
        switchingMsg = text
        switchingChanged(text !== "")
        return true
    }
    function clear() {
        messages = []
        settingInfoMsg = ""
        if (switchingMsg !== "")
            setSwitchingMsg("")
        switchingChanged(false)
    }

    mTouchEnable: true
    onVisibleChanged: if (!visible) clear()
    onClickOrKeySelected: hideRequested()
    onBackKeyPressed: hideRequested()

    Column {
        anchors.left: parent.left
        anchors.bottom: idSettingInfo.visible ? idSettingInfo.top : parent.bottom
        anchors.bottomMargin: idSettingInfo.visible ? systemInfo.defaultVSpace : 0
        spacing: systemInfo.defaultVSpace
        Repeater {
            model: idToast.messages
            BaseFlexibleItem {
                objectName: "toastLine"
                mText: modelData
                mBoxMaxWidth: systemInfo.mainWidth
                mTextSize: systemInfo.contentFontSize
            }
        }
    }
    BaseFlexibleItem {
        id: idSettingInfo
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        visible: idToast.settingInfoMsg !== ""
        mText: idToast.settingInfoMsg
        mBoxMaxWidth: Math.floor(systemInfo.mainWidth * 2 / 3)
        mTextSize: systemInfo.contentFontSize
    }
    BaseFlexibleItem {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: idToast.switchingMsg !== ""
        mText: idToast.switchingMsg
        mBoxMaxWidth: Math.floor(systemInfo.mainWidth / 3)
        mTextSize: systemInfo.contentFontSize
    }
}
