import QtQuick 2.6

// Three-slice skin of titles; mTall picks the taller title skin.
BaseFlexibleImage {
    property bool mTall: false
    mLeftSource: mTall ? imageInfo.img_titlebox2_left : imageInfo.img_titlebox1_left
    mCenterSource: mTall ? imageInfo.img_titlebox2_center : imageInfo.img_titlebox1_center
    mRightSource: mTall ? imageInfo.img_titlebox2_right : imageInfo.img_titlebox1_right
}
