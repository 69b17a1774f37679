import QtQuick 2.6

// Three-slice skin of table rows; the focused or selected look is the highlight skin.
BaseFlexibleImage {
    property bool mFocused: false
    property bool mSelected: false
    readonly property bool highlighted: mFocused || mSelected
    mLeftSource: highlighted ? imageInfo.img_box1_s_left : imageInfo.img_tablebox_left
    mCenterSource: highlighted ? imageInfo.img_box1_s_center : imageInfo.img_tablebox_center
    mRightSource: highlighted ? imageInfo.img_box1_s_right : imageInfo.img_tablebox_right
}
