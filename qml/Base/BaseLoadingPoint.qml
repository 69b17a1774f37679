import QtQuick 2.6

// One dot of the loading animation: point 1..4 is a brightness step, any
// other value the resting look.
Image {
    property int point: 0
    source: point >= 1 && point <= 4 ? imageInfo.img_08_Keyscreen_loading + point + ".png"
                                     : imageInfo.img_08_Keyscreen_load_default
}
