import QtQuick 2.6

// Nine-slice popup frame: fixed corners, stretched edges and centre.
Item {
    id: idPopupBox
    readonly property int corner: idTopLeft.implicitWidth

    Image { id: idTopLeft; anchors.left: parent.left; anchors.top: parent.top; source: imageInfo.img_popup_top_left }
    Image { anchors.right: parent.right; anchors.top: parent.top; source: imageInfo.img_popup_top_right }
    Image { anchors.left: parent.left; anchors.bottom: parent.bottom; source: imageInfo.img_popup_bottom_left }
    Image { anchors.right: parent.right; anchors.bottom: parent.bottom; source: imageInfo.img_popup_bottom_right }
    Image {
        x: idPopupBox.corner; width: parent.width - 2 * idPopupBox.corner; anchors.top: parent.top
        source: imageInfo.img_popup_top_center; fillMode: Image.Stretch
    }
    Image {
        x: idPopupBox.corner; width: parent.width - 2 * idPopupBox.corner; anchors.bottom: parent.bottom
        source: imageInfo.img_popup_bottom_center; fillMode: Image.Stretch
    }
    Image {
        y: idPopupBox.corner; height: parent.height - 2 * idPopupBox.corner; anchors.left: parent.left
        source: imageInfo.img_popup_left_center; fillMode: Image.Stretch
    }
    Image {
        y: idPopupBox.corner; height: parent.height - 2 * idPopupBox.corner; anchors.right: parent.right
        source: imageInfo.img_popup_right_center; fillMode: Image.Stretch
    }
    Rectangle {
        x: idPopupBox.corner; y: idPopupBox.corner
        width: parent.width - 2 * idPopupBox.corner; height: parent.height - 2 * idPopupBox.corner
        color: colorInfo.transBgColor
        opacity: 0.92
    }
}
