import QtQuick 2.6

// A framed text popup without buttons.
BaseComponent {
    id: idNotifyPopup
    property string mText: ""
    width: systemInfo.popupBoxW
    height: Math.max(systemInfo.boxH * 2, idText.paintedHeight + 2 * systemInfo.popupBtnVMargin)

    BaseImagePopupBox { anchors.fill: parent }
    BaseText {
        id: idText
        anchors.fill: parent
        anchors.margins: systemInfo.boxContentMargin
        mText: idNotifyPopup.mText
        mWrap: true
        mHorizontalAlies: Text.AlignHCenter
        mTextSize: systemInfo.contentFontSize
    }
}
