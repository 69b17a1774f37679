import QtQuick 2.6

// One row of a popup menu.
BaseComponent {
    id: idMenuDelegate
    property string mText: ""
    property bool mSelected: false
    property bool mCurrent: false
    signal refreshDelegateWidth(int length)

    height: systemInfo.menuBoxH
    mTouchEnable: true

    BaseImageMenuBox {
        anchors.fill: parent
        mFocused: idMenuDelegate.mCurrent
        mSelected: idMenuDelegate.mSelected
    }
    BaseText {
        id: idLabel
        anchors.fill: parent
        anchors.leftMargin: systemInfo.menuBoxContentMargin
        anchors.rightMargin: systemInfo.menuBoxContentMargin
        mText: idMenuDelegate.mText
        mTextSize: systemInfo.menuBoxFontSize
        mElide: Text.ElideRight
        Component.onCompleted: idMenuDelegate.refreshDelegateWidth(Math.ceil(implicitWidth) + 2 * systemInfo.menuBoxContentMargin)
    }
}
