import QtQuick 2.6

// A skin picture with an optional centred text.
Item {
    id: idBaseImage
    property string mSource: ""
    property string mText: ""
    property int mFontSize: systemInfo.btnFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property int mFillMode: Image.Stretch

    implicitWidth: idImage.implicitWidth
    implicitHeight: idImage.implicitHeight

    Image {
        id: idImage
        anchors.fill: parent
        source: idBaseImage.mSource
        fillMode: idBaseImage.mFillMode
    }
    BaseText {
        anchors.fill: parent
        visible: idBaseImage.mText !== ""
        mText: idBaseImage.mText
        mFontSize: idBaseImage.mFontSize
        mColor: idBaseImage.mTextColor
        mHAlign: Text.AlignHCenter
    }
}
