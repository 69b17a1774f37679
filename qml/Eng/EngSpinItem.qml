import QtQuick 2.6
import "../Base"

// One threshold spin row: name, "<", value, ">". The focused row stands on a
// light-blue rounded band.
Item {
    id: idSpin
    property string mName: ""
    property int mValue: 0
    property int mMin: 0
    property int mMax: 0
    // "number", "cnr" (tenths of a dB, shown with one decimal) or "sign"
    // (0 "!=", otherwise "==").
    property string mFormat: "number"
    property bool mFocused: false
    property color textColor: colorInfo.black
    readonly property string valueText: mFormat === "cnr" ? (mValue / 10).toFixed(1)
                                        : mFormat === "sign" ? (mValue === 0 ? "!=" : "==")
                                                             : String(mValue)

    height: systemInfo.engDelegateHeight

    Rectangle {
        anchors.fill: parent
        visible: idSpin.mFocused
        radius: Math.round(height / 4)
        color: colorInfo.lightblue
    }
    BaseText {
        id: idName
        x: Math.ceil(systemInfo.engFontSize / 3)
        width: Math.floor(parent.width * 0.65) - x
        height: parent.height
        mText: idSpin.mName
        mTextSize: systemInfo.engFontSize
        mTextColor: idSpin.textColor
        mElide: Text.ElideRight
    }
    Row {
        anchors.left: idName.right
        anchors.right: parent.right
        height: parent.height
        BaseText {
            width: Math.floor(parent.width / 4)
            height: parent.height
            mText: "<"
            mTextSize: systemInfo.engFontSize
            mTextColor: idSpin.textColor
            mHorizontalAlies: Text.AlignHCenter
        }
        BaseText {
            objectName: "spinValue"
            width: Math.floor(parent.width / 2)
            height: parent.height
            mText: idSpin.valueText
            mTextSize: systemInfo.engFontSize
            mTextColor: idSpin.textColor
            mHorizontalAlies: Text.AlignHCenter
        }
        BaseText {
            width: Math.floor(parent.width / 4)
            height: parent.height
            mText: ">"
            mTextSize: systemInfo.engFontSize
            mTextColor: idSpin.textColor
            mHorizontalAlies: Text.AlignHCenter
        }
    }
}
