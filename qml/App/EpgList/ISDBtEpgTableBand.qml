import QtQuick 2.6
import "../../Base"
import "../"
import "../../JavaScript/ChannelText.js" as ChannelText

// Table band of the programme screens: the current station's logo and name,
// the list mode's icon, its remote key (with the sub-channel where the key
// has several) and, on models that number channels so, its three-digit number.
Item {
    id: idBand
    height: systemInfo.tableHeight
    readonly property int fontHeight: systemInfo.normalFontSize

    function reloadLogo(networkID) {
        idLogo.source = ""
        idLogo.source = networkID === undefined ? ISDBtEngine.getStationLogoPath(ISDBtData.nCurrChannelNumber)
                                                : ISDBtEngine.getStationLogoPath(ISDBtData.nCurrChannelNumber, networkID)
    }

    Connections {
        target: ISDBtData
        function onNotifyCurrChannelNumberChanged() { idBand.reloadLogo() }
        function onNotifyCurrNetworkIDChanged() { idBand.reloadLogo(ISDBtData.nCurrNetworkID) }
    }
    Connections {
        target: ISDBtEngine
        // Some of these signals come with other parts of the engine.
        function onSendChannelLogoUpdated(channelNumber, networkID) {
            if (channelNumber === ISDBtData.nCurrChannelNumber)
                idBand.reloadLogo()
        }
    }
    Component.onCompleted: reloadLogo()

    Image {
        id: idLogo
        objectName: "tableLogo"
        x: systemInfo.tableItemMargin
        anchors.verticalCenter: parent.verticalCenter
        width: Math.round(64 * idBand.fontHeight / 36)
        height: idBand.fontHeight
        fillMode: Image.PreserveAspectFit
    }
    BaseText {
        id: idName
        objectName: "tableChannelName"
        anchors.left: idLogo.right
        anchors.leftMargin: systemInfo.tableItemMargin
        height: parent.height
        mText: ISDBtData.sCurrChName
    }
    ISDBtHomeDriveIcon {
        objectName: "tableHomeDrive"
        anchors.right: idChannel.left
        anchors.rightMargin: systemInfo.tableItemMargin
        anchors.verticalCenter: parent.verticalCenter
        height: idBand.fontHeight
    }
    BaseText {
        id: idChannel
        anchors.right: idKeyBox.left
        anchors.rightMargin: systemInfo.tableItemMargin
        height: parent.height
        mText: stringInfo.strApp_CHANNEL
        mTextSize: systemInfo.smallFontSize
    }
    Item {
        id: idKeyBox
        anchors.right: idThreeDigit.visible ? idThreeDigit.left : parent.right
        anchors.rightMargin: systemInfo.tableItemMargin
        anchors.verticalCenter: parent.verticalCenter
        height: parent.height * 0.8
        width: idKey.paintedWidth + 2 * systemInfo.tableItemMargin
        Row {
            anchors.fill: parent
            Image { id: idLeft; source: imageInfo.img_03_program_box1_left; height: parent.height; fillMode: Image.PreserveAspectFit }
            Image {
                source: imageInfo.img_03_program_box1_center
                height: parent.height
                width: Math.max(0, idKeyBox.width - idLeft.width - idRight.width)
            }
            Image { id: idRight; source: imageInfo.img_03_program_box1_right; height: parent.height; fillMode: Image.PreserveAspectFit }
        }
        BaseText {
            id: idKey
            objectName: "tableRemocon"
            anchors.centerIn: parent
            height: parent.height
            mText: ISDBtData.nCurrRemoconID
                   + (ISDBtData.nCurrRemoconIdCount > 1 ? " - " + ISDBtData.nCurrDispSubChannel : "")
        }
    }
    BaseText {
        id: idThreeDigit
        objectName: "tableThreeDigit"
        anchors.right: parent.right
        anchors.rightMargin: systemInfo.tableItemMargin
        height: parent.height
        visible: systemInfo.supportThreeDigitNum
        mText: ChannelText.threeDigit(ISDBtData.nCurrThreeDigitNumber)
    }
}
