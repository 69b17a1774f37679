import QtQuick 2.6

// A button of fixed size with normal, focused, pressed and active looks.
BaseComponent {
    id: idButton
    property string mText: ""
    property int mFontSize: systemInfo.btnFontSize
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
        anchors.fill: parent
        anchors.leftMargin: systemInfo.btnItemMargin
        anchors.rightMargin: systemInfo.btnItemMargin
        mText: idButton.mText
        mFontSize: idButton.mFontSize
        mHAlign: Text.AlignHCenter
        mElide: Text.ElideRight
        mColor: !idButton.mEnabled ? colorInfo.disableTextColor
                : (idButton.mPressed ? colorInfo.btnPressTextColor : colorInfo.selectTextColor)
    }
}
