import QtQuick 2.6

// A multi-line text in a flickable area, moved line by line with up and down.
BaseComponent {
    id: idScrollTextView
    property string mText: ""
    property int mTextSize: systemInfo.contentFontSize
    property bool mShowScroll: true
    // Lines stand one font height apart; a step of the keys moves one line.
    readonly property int lineHeight: Math.max(1, idText.font.pixelSize)
    readonly property int lineCount: idText.lineCount
    readonly property int linesOnScreen: Math.max(1, Math.floor(height / lineHeight))

    signal scrollTextViewMouseClicked()
    signal scrollTextViewMouseFlickStarted()
    signal scrollTextViewMouseFlickEnd()

    function moveTextLine(bUp) {
        var maxY = Math.max(0, idFlick.contentHeight - idFlick.height)
        var y = idFlick.contentY + (bUp ? -lineHeight : lineHeight)
        idFlick.contentY = Math.max(0, Math.min(maxY, y))
    }

    onUpKeyPressed: moveTextLine(true)
    onDownKeyPressed: moveTextLine(false)
    onMouseClicked: scrollTextViewMouseClicked()

    Flickable {
        id: idFlick
        objectName: "scrollTextFlick"
        anchors.fill: parent
        anchors.rightMargin: idScroll.visible ? idScroll.width + systemInfo.defaultMargin : 0
        contentHeight: idText.paintedHeight
        clip: true
        interactive: idScrollTextView.mTouchEnable
        onFlickStarted: idScrollTextView.scrollTextViewMouseFlickStarted()
        onFlickEnded: idScrollTextView.scrollTextViewMouseFlickEnd()
        Text {
            id: idText
            width: idFlick.width
            text: idScrollTextView.mText
            color: colorInfo.defaultTextColor
            font.family: systemInfo.fontOzb
            font.pixelSize: idScrollTextView.mTextSize
            wrapMode: Text.Wrap
            lineHeight: idScrollTextView.lineHeight
            lineHeightMode: Text.FixedHeight
        }
    }
    BaseScroll {
        id: idScroll
        anchors.right: parent.right
        scrollArea: idFlick
        visible: idScrollTextView.mShowScroll && idScrollTextView.lineCount > idScrollTextView.linesOnScreen
        itemCnt: idScrollTextView.lineCount
        itemCntOnScreen: idScrollTextView.linesOnScreen
        currentIndex: Math.round(idFlick.contentY / idScrollTextView.lineHeight)
    }
}
