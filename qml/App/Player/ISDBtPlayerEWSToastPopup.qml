import QtQuick 2.6
import "../../Base"

// Emergency-warning toast, bottom left.
BaseComponent {
    id: idEwsToast
    property string msg: ""
    signal hideRequested()
    mTouchEnable: true
    onClickOrKeySelected: hideRequested()
    onBackKeyPressed: hideRequested()

    BaseFlexibleItem {
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        mText: idEwsToast.msg
        mBoxMaxWidth: systemInfo.mainWidth
        mTextSize: systemInfo.contentFontSize
        mBgColor: colorInfo.darkred
    }
}
