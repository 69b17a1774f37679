import QtQuick 2.6

// Root of the user interface until the full root window takes its place: a
// black screen of the device's size with the status of the published objects.
Item {
    id: root
    width: DEVICE_WIDTH
    height: DEVICE_HEIGHT

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    Column {
        anchors.centerIn: parent
        spacing: 8

        Text {
            color: "white"
            font.pixelSize: 24
            text: "Holvik ISDB-T  " + ISDBtData.sSwVer
        }
        Text {
            color: "white"
            font.pixelSize: 18
            text: "Engine state " + ISDBtEngine.nOzbState + "  power " + (ISDBtEngine.bAppPowerOn ? "on" : "off")
        }
        Text {
            color: "white"
            font.pixelSize: 18
            text: "Segment mode " + ISDBtData.nSegMode + "  volume " + ISDBtData.nAudioLevel
                  + (ISDBtData.bAudioMute ? " (muted)" : "")
        }
        Text {
            color: "white"
            font.pixelSize: 18
            text: "CNR " + ISDBtSingalInfo.nCnrTot + "  switch level " + ISDBtThreshold.fCnrLevelAuto1toF + " dB"
        }
        Text {
            color: "white"
            font.pixelSize: 18
            text: "Factory result " + FactoryData.nResult + "  status " + FactoryData.nStatus
        }
    }
}
