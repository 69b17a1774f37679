import QtQuick 2.6
import QtTest 1.1
import "../../../qml/Common"
import "../Finder.js" as Finder

// Not a test: the screenshot run. Puts the root window into each screen and
// overlay in turn on the recording engine stand-in and saves a picture of
// each into shotDir (scripts/screenshot-screens.sh runs it at 480P, 720P and
// 1080P). A striped backdrop stands for the video below the window.
Item {
    id: idTop
    width: DEVICE_WIDTH
    height: DEVICE_HEIGHT

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#28506e" }
            GradientStop { position: 1.0; color: "#3d6b3a" }
        }
        Text {
            anchors.centerIn: parent
            text: "video"
            color: "#5f8aa8"
            font.pixelSize: parent.height / 6
        }
    }
    Loader {
        id: idLoader
        anchors.fill: parent
        source: "../../../qml/main.qml"
    }
    property var root: idLoader.item
    property var player: root ? Finder.find(root, "playerMain") : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "Screens"
        when: windowShown && idLoader.status === Loader.Ready

        function shot(name) {
            waitForRendering(idTop)
            wait(50)
            grabImage(idTop).save(shotDir + "/" + name + ".png")
        }

        function liveTv() {
            root.gotoMainScreen()
            root.bPrepared = true
            player.initializeView()
            root.showHideSystemToastPopup(false)
            root.showHideSystemPopup(false)
            root.showHideHDMIMode(false)
            root.hdmiCautionVisible = false
            Finder.find(root, "initScreen").visible = false
        }

        function test_screens() {
            testTranslator.install(1)
            ISDBtData.nLanguage = 0
            ISDBtData.nLanguage = 1
            ISDBtData.bInitialized = false
            ISDBtData.nShowChannelInfo = 1
            ISDBtData.nShowTime = 2
            shot("01-preparing")

            ISDBtEngine.sendPrepared()
            shot("02-initial-scan-prompt")

            root.setISDBtInitVisible(false)
            ISDBtEngine.sendInitScan()
            ISDBtEngine.sendSearchPercent(45)
            shot("03-initial-scan-progress")
            ISDBtEngine.sendScanComplete()

            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 0
            liveTv()
            shot("04-no-channel")

            ISDBtData.nCurrStationListCnt = 6
            ISDBtData.nCurrRemoconID = 4
            ISDBtData.nCurrRemoconIdCount = 2
            ISDBtData.nCurrDispSubChannel = 2
            ISDBtData.nCurrSegType = 0
            ISDBtData.nSignalLevel = 3
            ISDBtData.nCurrChannelNumber = 14
            ISDBtData.sCurrProgramName = "Evening News"
            ISDBtData.sCurrStrTime = "19:05"
            ISDBtData.nAudioLevel = 12
            liveTv()
            root.showHideOsdBar(true, true)
            root.showHideStatusBar(true, true)
            root.showHideVolumeBar(true)
            ISDBtEngine.sBilingualText = "Main"
            root.showHideBilingual(true)
            shot("05-live-tv-bars")

            ISDBtEngine.sendChangeChannel(5, 1, 20, 0, "Channel 5", false, true)
            shot("06-channel-change")
            wait(150)

            liveTv()
            ISDBtEngine.sendSignalWeak(true)
            ISDBtEngine.sendStartSearch2TS()
            shot("07-weak-signal")
            ISDBtEngine.sendSignalWeak(false)

            ISDBtEngine.sendStartSearch()
            ISDBtEngine.sendHandoverChannel(1, 27)
            shot("08-station-search")
            ISDBtEngine.sendStopSearch()

            ISDBtEngine.sendStartScan()
            ISDBtEngine.sendSearchPercent(70)
            shot("09-all-scan")
            ISDBtEngine.sendStopScan()

            liveTv()
            ISDBtEngine.sendToastMessage(stringInfo.strMsg_NO_ASSIGNED_CHANNEL_MSG)
            ISDBtEngine.sendToastMessage(stringInfo.strMsg_NO_AUDIO_MSG)
            ISDBtEngine.sendSettingInfoMesssage(stringInfo.strApp_SUBTITLE_SETTINGS + " : " + stringInfo.strApp_ON)
            shot("10-toasts")

            liveTv()
            ISDBtEngine.sendEwsNotifyMessage(stringInfo.strMsg_SWITCH_EWS_MSG)
            shot("11-emergency-toast")
            player.hideEwsToastPopup()

            ISDBtEngine.sendEwsReceived(1024)
            shot("12-emergency-question")
            root.showHideSystemPopup(false)

            liveTv()
            root.showHideHDMIMode(true)
            shot("13-hdmi-question")
            root.showHideHDMIMode(false)

            root.hdmiCautionVisible = true
            shot("14-hdmi-caution")
            root.hdmiCautionVisible = false

            ISDBtData.nAntennaState = 1
            shot("15-antenna-short")
            ISDBtData.nAntennaState = 0

            liveTv()
            root.showHideVolumeBar(false)
            root.setAppMainScreen("ISDBtStationListMain", true)
            shot("16-station-list")
            root.setAppMainScreen("ISDBtEpgListMain", true)
            shot("17-programme-guide")
            root.setAppMainScreen("ISDBtSetupMain", true)
            shot("18-settings")
            root.gotoMainScreen()

            testTranslator.install(0)
            ISDBtData.nLanguage = 0
            liveTv()
            ISDBtEngine.sendStartScan()
            ISDBtEngine.sendSearchPercent(30)
            shot("19-all-scan-japanese")
            ISDBtEngine.sendStopScan()
            testTranslator.install(2)
            ISDBtData.nLanguage = 2
            liveTv()
            ISDBtEngine.sendSignalWeak(true)
            shot("20-weak-signal-korean")
            testTranslator.remove()
        }
    }
}
