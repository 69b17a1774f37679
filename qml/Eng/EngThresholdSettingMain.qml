import QtQuick 2.6
import "../Base"

// "THRESHOLD SETTING" panel: the editor of the current segment mode (none in
// the fixed modes). Shown, it hands the key focus to that editor.
FocusScope {
    id: idSetting
    property color textColor: colorInfo.black
    readonly property int segMode: ISDBtData.nSegMode
    readonly property var editor: segMode === 2 ? idAuto : segMode === 3 ? idAuto1Seg : segMode === 4 ? idAutoFSeg : null

    signal selectPressed()

    function focusEditor() {
        if (!visible)
            return
        if (editor)
            editor.forceActiveFocus()
        else
            forceActiveFocus()
    }

    onVisibleChanged: focusEditor()
    onEditorChanged: focusEditor()

    BaseText {
        id: idTitle
        objectName: "panelTitle"
        width: parent.width
        height: systemInfo.engTitleHeight
        mText: "THRESHOLD SETTING"
        mTextSize: systemInfo.engFontSize
        mTextColor: idSetting.textColor
        mTextBold: true
    }
    Item {
        anchors.top: idTitle.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        EngThresholdAuto {
            id: idAuto
            objectName: "thresholdAuto"
            anchors.fill: parent
            visible: idSetting.segMode === 2
            onSelectPressed: idSetting.selectPressed()
        }
        EngThresholdAuto1Seg {
            id: idAuto1Seg
            objectName: "thresholdAuto1Seg"
            anchors.fill: parent
            visible: idSetting.segMode === 3
            onSelectPressed: idSetting.selectPressed()
        }
        EngThresholdAutoFSeg {
            id: idAutoFSeg
            objectName: "thresholdAutoFSeg"
            anchors.fill: parent
            visible: idSetting.segMode === 4
            onSelectPressed: idSetting.selectPressed()
        }
    }
}
