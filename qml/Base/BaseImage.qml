import QtQuick 2.6

// A skin picture with an optional centred text.
Item {
    id: idBaseImage
    property string mSrcImg: ""
    property string mText: ""
    property int mTextSize: systemInfo.btnFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property int mFillMode: Image.Stretch

    implicitWidth: idImage.implicitWidth
    implicitHeight: idImage.implicitHeight

    Image {
        id: idImage
        anchors.fill: parent
        source: idBaseImage.mSrcImg
        fillMode: idBaseImage.mFillMode
    }
    BaseText {
        anchors.fill: parent
        visible: idBaseImage.mText !== ""
        mText: idBaseImage.mText
        mTextSize: idBaseImage.mTextSize
        mTextColor: idBaseImage.mTextColor
        mHorizontalAlies: Text.AlignHCenter
    }
}
