import QtQuick 2.6

// Three-slice skin of programme boxes; the focused or selected look is the highlight skin.
BaseFlexibleImage {
    property bool mFocused: false
    property bool mSelected: false
    readonly property bool highlighted: mFocused || mSelected
    mLeftSource: highlighted ? imageInfo.img_box1_s_left : imageInfo.img_03_program_box1_left
    mCenterSource: highlighted ? imageInfo.img_box1_s_center : imageInfo.img_03_program_box1_center
    mRightSource: highlighted ? imageInfo.img_box1_s_right : imageInfo.img_03_program_box1_right
}
