import QtQuick 2.6
import ImageItem 1.0

// Caption and superimpose plane: the engine's caption bitmap stretched over
// the screen, repainted on every caption update.
Item {
    id: idSubtitle
    function updateSubtitle() { idImage.updateImage() }

    ImageItem {
        id: idImage
        anchors.fill: parent
    }
}
