import QtQuick 2.6

// A button of fixed size with normal, focused, pressed and active looks; the
// text's place, size, colour and eliding can be set, and an optional second
// text (mCountTextItem) stands at its right end.
BaseComponent {
    id: idButton
    property string mText: ""
    property int mTextSize: systemInfo.btnFontSize
    property int mTextMargin: systemInfo.btnItemMargin
    property int mTextX: mTextMargin
    property int mTextW: width - mTextX - mTextMargin - (idCount.visible ? idCount.width + mTextMargin : 0)
    property int mTextElide: Text.ElideRight
    property color mTextColor: !mEnabled ? colorInfo.disableTextColor
                                         : (mPressed ? colorInfo.btnPressTextColor : colorInfo.selectTextColor)
    property string mCountTextItem: ""
    property bool mActive: false
    property bool mPressed: false
    readonly property bool focused: activeFocus

    width: systemInfo.menuBoxW
    height: systemInfo.boxH

    onClickPressed: mPressed = true
    onClickReleased: mPressed = false
    onMouseExit: mPressed = false
    onActiveFocusChanged: if (!activeFocus) mPressed = false

    BaseImageBox {
        anchors.fill: parent
        mFocused: idButton.focused || idButton.mPressed
        mSelected: idButton.mActive
        opacity: idButton.mEnabled ? 1.0 : 0.5
    }
    BaseText {
        x: idButton.mTextX
        width: idButton.mTextW
        height: parent.height
        mText: idButton.mText
        mTextSize: idButton.mTextSize
        mHorizontalAlies: Text.AlignHCenter
        mElide: idButton.mTextElide
        mTextColor: idButton.mTextColor
    }
    BaseText {
        id: idCount
        anchors.right: parent.right
        anchors.rightMargin: idButton.mTextMargin
        height: parent.height
        visible: idButton.mCountTextItem !== ""
        mText: idButton.mCountTextItem
        mTextSize: idButton.mTextSize
        mTextColor: idButton.mTextColor
    }
}
