import QtQuick 2.6
import "../Base"

// One row of the engineering station list (roles of StationListModel).
Item {
    id: idDelegate
    readonly property string rowText: "R(" + RemoconID + "_" + SubChannel + "(" + DispSubChannel + ")" + ") "
                                      + "C(" + ChannelNumber + ") " + "S(" + OneSegSID + " / " + FullSegSID + ") "
                                      + "N(" + NetworkID + ") " + TSName

    width: ListView.view ? ListView.view.width : 0
    height: systemInfo.engDelegateHeight

    EngLogo {
        id: idLogo
        channelNumber: ChannelNumber
        wanted: SubChannel === 1
    }
    BaseText {
        anchors.left: idLogo.right
        anchors.leftMargin: idLogo.visible ? Math.ceil(systemInfo.engFontSize / 3) : 0
        anchors.right: parent.right
        height: parent.height
        mText: idDelegate.rowText
        mTextSize: systemInfo.engFontSize
        mTextColor: colorInfo.engTextColor
        mElide: Text.ElideRight
    }
}
