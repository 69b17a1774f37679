import QtQuick 2.6

// A marquee: a text wider than its box moves left 5 pixels every 20 ms. One
// way it re-enters from the right; two way it swings between both ends with
// a pause at each.
Item {
    id: idScrollText
    property string mText: ""
    property int mTextSize: systemInfo.normalFontSize
    property color mTextColor: colorInfo.defaultTextColor
    property bool scrollEnable: true
    property bool twoWay: false
    property int interval: 20
    property int breakInterval: 1000
    property int step: 5
    property bool movingLeft: true
    readonly property bool needScroll: scrollEnable && visible && idText.paintedWidth > width
    readonly property alias textX: idText.x

    clip: true
    implicitHeight: idText.implicitHeight

    function checkScroll() {
        idBreak.stop()
        idText.x = 0
        movingLeft = true
        if (needScroll)
            idTick.start()
        else
            idTick.stop()
    }

    function tick() {
        var w = idText.paintedWidth
        if (!twoWay) {
            idText.x -= step
            if (idText.x + w < 0)
                idText.x = width
            return
        }
        if (movingLeft) {
            idText.x -= step
            if (idText.x + w <= width) {
                idText.x = width - w
                movingLeft = false
                idTick.stop()
                idBreak.start()
            }
        } else {
            idText.x += step
            if (idText.x >= 0) {
                idText.x = 0
                movingLeft = true
                idTick.stop()
                idBreak.start()
            }
        }
    }

    onNeedScrollChanged: checkScroll()
    onMTextChanged: checkScroll()

    Text {
        id: idText
        anchors.verticalCenter: parent.verticalCenter
        text: idScrollText.mText
        color: idScrollText.mTextColor
        font.family: systemInfo.fontOzb
        font.pixelSize: idScrollText.mTextSize
    }
    Timer { id: idTick; interval: idScrollText.interval; repeat: true; onTriggered: idScrollText.tick() }
    Timer { id: idBreak; interval: idScrollText.breakInterval; onTriggered: idTick.start() }
}
