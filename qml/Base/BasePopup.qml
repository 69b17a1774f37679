import QtQuick 2.6

// A dimmed full-screen popup with a message and (by default) two buttons.
BaseComponent {
    id: idPopup
    property string mText: ""
    property string mSubText: ""
    property int popupBtnCnt: 2
    property string btn01Text: stringInfo.strApp_YES
    property string btn02Text: stringInfo.strApp_NO
    property color bgColor: colorInfo.black
    property real bgOpacity: 0.6

    signal popupBtn01Selected()
    signal popupBtn02Selected()

    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    function focusFirstButton() { idBtn01.forceActiveFocus() }

    onActiveFocusChanged: if (activeFocus && !idBtn01.activeFocus && !idBtn02.activeFocus) idBtn01.forceActiveFocus()

    Rectangle {
        anchors.fill: parent
        color: idPopup.bgColor
        opacity: idPopup.bgOpacity
    }
    BaseImagePopupBox {
        id: idFrame
        anchors.centerIn: parent
        width: systemInfo.popupBoxW
        height: Math.max(systemInfo.popupBoxH, idColumn.implicitHeight + 2 * systemInfo.popupBtnVMargin)
    }
    Column {
        id: idColumn
        anchors.centerIn: idFrame
        width: idFrame.width - 2 * (idFrame.corner + systemInfo.defaultMargin)
        spacing: systemInfo.defaultVSpace
        BaseText {
            width: parent.width
            mText: idPopup.mText
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.contentFontSize
        }
        BaseText {
            width: parent.width
            visible: idPopup.mSubText !== ""
            mText: idPopup.mSubText
            mWrap: true
            mHorizontalAlies: Text.AlignHCenter
            mTextSize: systemInfo.smallFontSize
            mTextColor: colorInfo.textGray
        }
        Item { width: 1; height: systemInfo.defaultVSpace }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: systemInfo.boxContentMargin
            BaseButton {
                id: idBtn01
                focus: true
                mText: idPopup.btn01Text
                mTouchEnable: true
                KeyNavigation.right: idBtn02
                onRightKeyPressed: if (idBtn02.visible) idBtn02.forceActiveFocus()
                onClickOrKeySelected: idPopup.popupBtn01Selected()
            }
            BaseButton {
                id: idBtn02
                visible: idPopup.popupBtnCnt > 1
                mText: idPopup.btn02Text
                mTouchEnable: true
                onLeftKeyPressed: idBtn01.forceActiveFocus()
                onClickOrKeySelected: idPopup.popupBtn02Selected()
            }
        }
    }
}
