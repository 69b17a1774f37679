import QtQuick 2.6
import "../Base"

// One button of a factory test row. While its row has the focus every button
// is dark grey with black text (the focused one bold); otherwise a selected
// button shows its selection colour with white-smoke text.
Rectangle {
    id: idBtn
    property string mText: ""
    property color mSelectColor: colorInfo.darkgrey
    property bool mSelected: false
    property bool mRowFocused: false
    property bool mFocused: false
    property bool mEnabled: true
    readonly property bool showsSelection: mSelected && !mRowFocused && mEnabled

    radius: Math.round(height / 5)
    color: !mEnabled ? colorInfo.grey : showsSelection ? mSelectColor : colorInfo.darkgrey
    opacity: mEnabled ? 1.0 : 0.5

    BaseText {
        objectName: "btnText"
        anchors.fill: parent
        mText: idBtn.mText
        mTextSize: systemInfo.factoryFontSize
        mTextColor: idBtn.showsSelection ? colorInfo.whitesmoke : colorInfo.black
        mTextBold: idBtn.mRowFocused && idBtn.mFocused
        mHorizontalAlies: Text.AlignHCenter
        mElide: Text.ElideRight
    }
}
