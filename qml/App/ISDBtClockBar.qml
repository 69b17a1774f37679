import QtQuick 2.6
import "../Base"

// Clock box: the broadcast time, hidden while unknown.
Item {
    id: idClockBar
    property int maxWidth: systemInfo.clockBarMaxWidth
    readonly property string timeText: ISDBtData.sCurrStrTime
    width: idBox.width
    height: idBox.height

    BaseFlexibleItem {
        id: idBox
        visible: idClockBar.timeText !== ""
        mText: idClockBar.timeText
        mBoxMaxWidth: idClockBar.maxWidth
        mTextSize: systemInfo.dateFontSize
    }
}
