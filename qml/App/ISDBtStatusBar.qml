import QtQuick 2.6
import "../Base"
import "../JavaScript/ChannelText.js" as ChannelText

// Status bar, top right: channel number (with sub-channel), segment, antenna
// and (where the model has them) home/drive icon and UHF box; below it the
// three-digit number and the bilingual text.
Item {
    id: idStatusBar

    property bool showBilingual: false
    readonly property int remoconId: ISDBtData.nCurrRemoconID
    readonly property int subChannel: ISDBtData.nCurrDispSubChannel
    readonly property bool subChannelShown: ISDBtData.nCurrRemoconIdCount > 1 && subChannel > 0
    readonly property bool uhfShown: systemInfo.isQM_NRV2Z_MAX
    readonly property string bilingualText: typeof ISDBtEngine.sBilingualText === "string" ? ISDBtEngine.sBilingualText : ""
    readonly property string threeDigitText: ChannelText.threeDigit(ISDBtData.nCurrThreeDigitNumber)
    readonly property int space: systemInfo.sbIconHSpace

    // The UHF box's channel: the physical channel, "-" while unknown.
    function uhfChannelText(channelNumber) {
        return channelNumber < 0 ? "-" : String(channelNumber + 13)
    }
    function segmentIcon(segType) {
        if (segType === systemInfo.fullSeg)
            return imageInfo.img_01_screen_fullseg3
        if (segType === systemInfo.oneSeg)
            return imageInfo.img_01_screen_1seg
        return ""
    }

    readonly property int channelAreaWidth: idChannelArea.visible && idChannelRow.width > 0
                                            ? idChannelRow.width + idChannelArea.rightMargin : systemInfo.sbIconWidth
    readonly property int barWidth: channelAreaWidth + idSegment.width + idAntenna.width + 3 * space
                                    + (idMode.visible ? idMode.width + space : 0)
                                    + (idUhf.visible ? idUhf.width + space : 0)

    width: barWidth
    height: systemInfo.sbIconHeight + (idThreeDigit.visible ? idThreeDigit.height + systemInfo.sbIconVSpace : 0)
            + (idBilingual.visible ? idBilingual.height + systemInfo.sbIconVSpace : 0)

    Row {
        id: idIcons
        anchors.right: parent.right
        anchors.top: parent.top
        height: systemInfo.sbIconHeight
        spacing: idStatusBar.space
        layoutDirection: Qt.RightToLeft

        Rectangle {
            id: idUhf
            visible: idStatusBar.uhfShown
            width: Math.max(systemInfo.sbIconWidth, idUhfColumn.implicitWidth + 2 * systemInfo.sbIconBorderWidth + 4)
            height: systemInfo.sbIconHeight
            radius: systemInfo.sbIconBorderRadius
            color: ISDBtData.b2TsCompStatus ? colorInfo.yellow : colorInfo.white
            Column {
                id: idUhfColumn
                anchors.centerIn: parent
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "UHF"
                    color: colorInfo.black
                    font.family: systemInfo.fontOzb
                    font.pixelSize: systemInfo.sbUHFTextSize
                }
                Text {
                    id: idUhfChannel
                    objectName: "uhfChannel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: idStatusBar.uhfChannelText(ISDBtData.nCurrChannelNumber)
                    color: colorInfo.black
                    font.family: systemInfo.fontOzb
                    font.pixelSize: systemInfo.sbUHFTextSize
                }
            }
        }
        ISDBtHomeDriveIcon {
            id: idMode
            height: parent.height
        }
        Image {
            id: idAntenna
            height: parent.height
            fillMode: Image.PreserveAspectFit
            source: imageInfo.img_01_screen_antenna + Math.max(0, Math.min(3, ISDBtData.nSignalLevel)) + ".png"
        }
        Image {
            id: idSegment
            height: parent.height
            fillMode: Image.PreserveAspectFit
            source: idStatusBar.segmentIcon(ISDBtData.nCurrSegType)
            width: source == "" ? 0 : implicitWidth * height / Math.max(1, implicitHeight)
        }
        Item {
            id: idChannelArea
            objectName: "channelArea"
            property int rightMargin: idStatusBar.remoconId < 10 && !idStatusBar.subChannelShown ? systemInfo.sbIconRMargin : 0
            visible: idStatusBar.remoconId > 0
            width: visible ? idChannelRow.width + rightMargin : systemInfo.sbIconWidth
            height: parent.height
            Row {
                id: idChannelRow
                height: parent.height
                Image {
                    id: idNumber
                    objectName: "channelNumber"
                    height: parent.height
                    fillMode: Image.PreserveAspectFit
                    source: idStatusBar.remoconId > 0 ? imageInfo.img_01_screen_num + idStatusBar.remoconId + ".png" : ""
                }
                Image {
                    objectName: "channelHyphen"
                    visible: idStatusBar.subChannelShown
                    height: parent.height
                    fillMode: Image.PreserveAspectFit
                    source: imageInfo.img_01_screen_num_hyphen
                }
                Image {
                    objectName: "subChannel"
                    visible: idStatusBar.subChannelShown
                    height: parent.height
                    fillMode: Image.PreserveAspectFit
                    source: visible ? imageInfo.img_01_screen_s_num + Math.min(9, idStatusBar.subChannel) + ".png" : ""
                }
            }
        }
    }

    BaseText {
        id: idThreeDigit
        anchors.right: parent.right
        anchors.top: idIcons.bottom
        anchors.topMargin: systemInfo.sbIconVSpace
        visible: systemInfo.supportThreeDigitNum && ISDBtData.nCurrThreeDigitNumber !== 0
        mText: idStatusBar.threeDigitText
        mTextSize: systemInfo.statusBarFontSize
        mOutline: true
    }
    BaseText {
        id: idBilingual
        objectName: "bilingualText"
        anchors.right: parent.right
        anchors.top: idThreeDigit.visible ? idThreeDigit.bottom : idIcons.bottom
        anchors.topMargin: systemInfo.sbIconVSpace
        width: Math.min(implicitWidth, Math.floor(systemInfo.mainWidth / 4))
        visible: idStatusBar.bilingualText !== "" && idStatusBar.showBilingual
        mText: idStatusBar.bilingualText
        mTextSize: systemInfo.statusBarFontSize
        mOutline: true
        mElide: Text.ElideRight
        mHorizontalAlies: Text.AlignRight
    }
}
