import QtQuick 2.6
import "../Base"

// Programme banner, top left: the station logo and the programme on air in a
// title box; hidden while there is no programme name.
Item {
    id: idOsd

    property int maxWidth: systemInfo.mainWidth
    readonly property string programName: ISDBtData.sCurrProgramName
    readonly property int channelNumber: ISDBtData.nCurrChannelNumber
    readonly property int networkID: ISDBtData.nCurrNetworkID
    property string logoPath: ""

    function refreshLogo() {
        logoPath = ""
        if (!systemInfo.supportLogo)
            return
        var path = ISDBtEngine.getStationLogoPath(channelNumber, networkID)
        logoPath = path ? String(path) : ""
    }

    onChannelNumberChanged: refreshLogo()
    onNetworkIDChanged: refreshLogo()
    Component.onCompleted: refreshLogo()

    Connections {
        target: ISDBtEngine
        function onSendChannelLogoUpdated(channelNumber, networkID) { if (channelNumber === idOsd.channelNumber) idOsd.refreshLogo() }
    }

    width: Math.min(maxWidth, idContent.implicitWidth + 2 * systemInfo.titleBoxContentMargin)
    height: systemInfo.titleBoxH

    Item {
        anchors.fill: parent
        visible: idOsd.programName !== ""

        BaseImageTitleBox {
            anchors.fill: parent
        }
        Row {
            id: idContent
            x: systemInfo.titleBoxContentMargin
            anchors.verticalCenter: parent.verticalCenter
            spacing: systemInfo.itemFlexibleMargin
            Image {
                id: idLogo
                anchors.verticalCenter: parent.verticalCenter
                visible: idOsd.logoPath !== "" && status === Image.Ready
                source: idOsd.logoPath
                width: systemInfo.stIconWidth
                height: systemInfo.stIconHeight
                cache: false
            }
            BaseText {
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, idOsd.maxWidth - 2 * systemInfo.titleBoxContentMargin
                                - (idLogo.visible ? idLogo.width + systemInfo.itemFlexibleMargin : 0))
                mText: idOsd.programName
                mTextSize: systemInfo.osdFontSize
                mElide: Text.ElideRight
            }
        }
    }
}
