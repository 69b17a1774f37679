import QtQuick 2.6

// The channel list mode's icon, home or drive, on models that keep both lists.
Image {
    visible: systemInfo.supportHomeDrive
    fillMode: Image.PreserveAspectFit
    source: ISDBtData.nMode === systemInfo.drive ? imageInfo.img_01_screen_drive : imageInfo.img_01_screen_home
}
