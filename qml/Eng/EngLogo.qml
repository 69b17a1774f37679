import QtQuick 2.6

// The station logo at the left of a list row (64:36 of the row height),
// reloaded when the engine reports a new logo for its channel.
Image {
    id: idLogo
    property int channelNumber: 0
    property bool wanted: false

    function logoSource() {
        if (!wanted || !systemInfo.supportLogo)
            return ""
        var path = String(ISDBtEngine.getStationLogoPath(channelNumber))
        return path.charAt(0) === "/" ? "file://" + path : path
    }
    function reload() {
        source = ""
        source = logoSource()
    }

    height: parent.height
    width: visible ? Math.round(height * 64 / 36) : 0
    visible: wanted && systemInfo.supportLogo && status === Image.Ready
    cache: false
    fillMode: Image.PreserveAspectFit
    Component.onCompleted: reload()
    onChannelNumberChanged: reload()
    onWantedChanged: reload()

    Connections {
        target: ISDBtEngine
        function onSendChannelLogoUpdated(channelNumber) {
            if (channelNumber === idLogo.channelNumber)
                idLogo.reload()
        }
    }
}
