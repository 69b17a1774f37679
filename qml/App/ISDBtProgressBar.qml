import QtQuick 2.6
import "../Base"

// Progress bar: a three-piece track and a three-piece fill of percent/100.
Item {
    id: idProgressBar
    property int progressPercent: 0
    readonly property int fillWidth: Math.floor(width * Math.max(0, Math.min(100, progressPercent)) / 100)

    width: systemInfo.scanProgressW
    height: idTrack.implicitHeight

    BaseFlexibleImage {
        id: idTrack
        anchors.fill: parent
        mLeftSource: imageInfo.img_001_prbar_left
        mCenterSource: imageInfo.img_001_prbar_center
        mRightSource: imageInfo.img_001_prbar_right
    }
    BaseFlexibleImage {
        objectName: "progressFill"
        visible: idProgressBar.progressPercent > 0
        width: Math.max(mLeftWidth + mRightWidth, idProgressBar.fillWidth)
        height: parent.height
        mLeftSource: imageInfo.img_001_prbar2_left
        mCenterSource: imageInfo.img_001_prbar2_center
        mRightSource: imageInfo.img_001_prbar2_right
    }
}
