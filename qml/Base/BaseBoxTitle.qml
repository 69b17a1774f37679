import QtQuick 2.6

// BaseBox on the title skin, with the title font.
BaseBox {
    mSkin: "title"
    mTextSize: systemInfo.normalFontSize
    mBoxMaxWidth: systemInfo.titleBoxW
}
