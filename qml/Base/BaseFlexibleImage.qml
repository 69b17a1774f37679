import QtQuick 2.6

// Three-slice skin: fixed left and right ends, the centre stretched to fill.
Item {
    id: idFlexibleImage
    property string mLeftSource: ""
    property string mCenterSource: ""
    property string mRightSource: ""
    readonly property int mLeftWidth: idLeft.implicitWidth
    readonly property int mRightWidth: idRight.implicitWidth

    implicitHeight: idLeft.implicitHeight

    Image {
        id: idLeft
        anchors.left: parent.left
        height: parent.height
        source: idFlexibleImage.mLeftSource
    }
    Image {
        anchors.left: idLeft.right
        anchors.right: idRight.left
        height: parent.height
        source: idFlexibleImage.mCenterSource
        fillMode: Image.Stretch
    }
    Image {
        id: idRight
        anchors.right: parent.right
        height: parent.height
        source: idFlexibleImage.mRightSource
    }
}
