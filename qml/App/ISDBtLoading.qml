import QtQuick 2.6
import "../Base"

// Loading spinner: twelve points on a ring; a 200 ms tick moves the four
// lit steps around it.
Item {
    id: idLoading
    // Position index of the point drawn n-th.
    readonly property var drawOrder: [0, 6, 9, 3, 11, 1, 7, 5, 10, 2, 8, 4]
    property int counter: 0
    readonly property int radius: Math.floor(Math.min(width, height) / 2) - systemInfo.loadingPointMargin3

    width: systemInfo.bandHeight * 3
    height: width

    // Brightness step of the point at position i.
    function stepOf(i) {
        if (counter === 0)
            return 0
        var d = counter - i
        return d < 0 ? d + 12 : d
    }
    function tick() { counter = counter >= 12 ? 1 : counter + 1 }

    onVisibleChanged: if (!visible) counter = 0

    Timer {
        interval: 200
        repeat: true
        running: idLoading.visible
        onTriggered: idLoading.tick()
    }
    Repeater {
        model: 12
        BaseLoadingPoint {
            readonly property int position: idLoading.drawOrder[index]
            readonly property real angle: position * Math.PI / 6 - Math.PI / 2
            x: idLoading.width / 2 + idLoading.radius * Math.cos(angle) - width / 2
            y: idLoading.height / 2 + idLoading.radius * Math.sin(angle) - height / 2
            point: idLoading.stepOf(position)
        }
    }
}
