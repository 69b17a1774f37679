import QtQuick 2.6

// A full-width title band with a first and an optional second text.
Item {
    id: idBand
    property string mFirstText: ""
    property string mSecondText: ""
    property int mTextSize: systemInfo.titleFontSize
    width: systemInfo.mainWidth
    height: systemInfo.bandHeight

    BaseImageTitleBox {
        anchors.fill: parent
    }
    BaseText {
        anchors.left: parent.left
        anchors.leftMargin: systemInfo.bandFirstTextHMargin
        anchors.verticalCenter: parent.verticalCenter
        mText: idBand.mFirstText
        mTextSize: Math.min(idBand.mTextSize, Math.floor(idBand.height * 0.7))
    }
    BaseText {
        anchors.left: parent.left
        anchors.leftMargin: systemInfo.bandSecondTextHMargin
        anchors.verticalCenter: parent.verticalCenter
        visible: idBand.mSecondText !== ""
        mText: idBand.mSecondText
        mTextSize: systemInfo.normalFontSize
        mTextColor: colorInfo.textGray
    }
}
