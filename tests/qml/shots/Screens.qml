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

        // The engineering overlay over live TV (with its threshold panels) and
        // the factory test part-way through a run with one weak port.
        function engineeringAndFactory() {
            testLists.load([
                { id: 1, channelNumber: 14, remoconID: 1, serviceID: 0x400, serviceType: 1, tsName: "Holvik One", networkID: 0x7FE0 },
                { id: 2, channelNumber: 14, remoconID: 1, serviceID: 0x408, serviceType: 192, pmtPID: 0x1FC8,
                  tsName: "Holvik One", networkID: 0x7FE0 },
                { id: 3, channelNumber: 20, remoconID: 4, serviceID: 0x500, serviceType: 1, tsName: "Channel 5", networkID: 0x7FE1 },
                { id: 4, channelNumber: 20, remoconID: 4, serviceID: 0x501, serviceType: 1, tsName: "Channel 5 Sub", networkID: 0x7FE1 },
                { id: 5, channelNumber: 27, remoconID: 8, serviceID: 0x600, serviceType: 1, tsName: "Valley TV", networkID: 0x7FE2 },
            ])
            ISDBtEngine.results = { getChannelListCount: 5, getStationListCount: 3 }
            ISDBtData.sSwVer = "1.0.3"
            ISDBtData.sMicomVer = "0.9.1"
            ISDBtData.sChrontelVer = "2.1.0"
            ISDBtData.sCurrChName = "Channel 5"
            ISDBtData.nCurrChannelNumber = 20
            ISDBtData.nSegMode = 2
            var sample = { nEnabled2TS: 1, nCnrTot: 24, nCnr1Seg: 27, nCnr0: 23, nCnr1: 19, nCnr2: 0, nCnr3: 25,
                           nPerErrA: 0, nPerTotA: 1200, nPerErrB: 3, nPerTotB: 1200, nFreq: 509143 }
            for (var name in sample)
                ISDBtSingalInfo[name] = sample[name]
            ISDBtThreshold.nExceededCountAuto1toF = 3
            liveTv()
            ISDBtEngine.sendEnterEngMode()
            shot("21-engineering")
            root.bEngThresholdMode = true
            shot("22-engineering-thresholds")
            ISDBtEngine.sendExitEngMode()

            ISDBtData.nShowTime = 0
            ISDBtEngine.sendEnterFactoryMode()
            keyClick(Qt.Key_J)
            keyClick(Qt.Key_J)
            ISDBtData.nAntennaState = 1
            ISDBtData.nAntennaState = 0
            ISDBtEngine.sendInitScan()
            ISDBtEngine.sendScanComplete()
            ISDBtEngine.sendStartEndChannel()
            ISDBtEngine.results = { getStationListCount: 3, getAntPort01Cnr: 23, getAntPort02Cnr: 19,
                                    getAntPort03Cnr: 16, getAntPort04Cnr: 25 }
            var factory = Finder.find(root, "factoryTest")
            factory.receptionTimer.stop()
            factory.measureAllPorts()
            // Pictures of the screen alone, without the live-TV bars below it.
            root.showHideOsdBar(false, true)
            root.showHideStatusBar(false, true)
            shot("23-factory-test")
            ISDBtEngine.nUsbDetection = 1
            keyClick(Qt.Key_D)
            shot("24-factory-usb-caution")
            keyClick(Qt.Key_D)
            ISDBtEngine.nUsbDetection = 0
            root.showHideFactory(false)
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
            var setup = Finder.find(root, "setupMain")
            ISDBtData.sSwVer = "1.2.0"
            ISDBtData.sMicomVer = "M0.9"
            setup.currentTab = 1
            setup.focusOnList = true
            shot("18b-settings-watch")
            setup.currentTab = 2
            shot("18c-settings-other")
            setup.setRow(3)
            setup.openPopup()
            shot("18d-settings-popup")
            setup.closeDialog()
            setup.setRow(1)
            setup.actOnRow()
            setup.upDown(false)
            shot("18e-settings-edit")
            setup.initializeView()
            setup.focusOnList = true
            setup.actOnRow()
            shot("18f-settings-scan-question")
            setup.closeDialog()
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
            ISDBtEngine.sendSignalWeak(false)
            testTranslator.remove()

            engineeringAndFactory()
        }
    }
}
