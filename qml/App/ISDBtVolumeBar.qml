import QtQuick 2.6
import "../Base"

// Volume box: speaker icon (crossed while muted) and the level.
Item {
    id: idVolumeBar
    property int maxWidth: Math.floor(systemInfo.mainWidth / 8)
    readonly property bool muted: ISDBtData.bAudioMute
    readonly property string levelText: muted ? "" : String(ISDBtData.nAudioLevel)
    width: idBox.width
    height: idBox.height

    BaseFlexibleItem {
        id: idBox
        mIconSource: idVolumeBar.muted ? imageInfo.img_01_screen_volume_off : imageInfo.img_01_screen_volume_on
        mText: idVolumeBar.levelText
        mBoxMaxWidth: idVolumeBar.maxWidth
        mTextSize: systemInfo.dateFontSize
    }
}
