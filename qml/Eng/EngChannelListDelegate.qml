import QtQuick 2.6
import "../Base"

// One row of the engineering channel list (roles of ChannelListModel).
Item {
    id: idDelegate
    readonly property string rowText: (ServiceSegType === 0 ? "(F)" : "(1)")
                                      + "R(" + RemoconID + "_" + SubChannel + "(" + DispSubChannel + ")" + ")"
                                      + "C(" + ChannelNumber + ")" + "S(" + ServiceID + ") " + TSName

    width: ListView.view ? ListView.view.width : 0
    height: systemInfo.engDelegateHeight

    EngLogo {
        id: idLogo
        channelNumber: ChannelNumber
        wanted: ServiceSegType === 0 && SubChannel === 1
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
