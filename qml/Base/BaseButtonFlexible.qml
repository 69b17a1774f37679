import QtQuick 2.6

// A button whose width follows its text, between minBoxTextW and mMaxWidth.
BaseButton {
    id: idFlexibleButton
    property int mMaxWidth: systemInfo.boxW
    width: Math.min(mMaxWidth, Math.max(systemInfo.minBoxTextW, Math.ceil(idMeasure.implicitWidth))
                    + 2 * systemInfo.boxContentMargin)

    Text {
        id: idMeasure
        visible: false
        text: idFlexibleButton.mText
        font.family: systemInfo.fontOzb
        font.pixelSize: idFlexibleButton.mTextSize
    }
}
