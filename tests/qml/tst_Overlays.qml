import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "../../qml/App"
import "Finder.js" as Finder

// The overlays on their own: toast stack rules, the status bar's channel
// area and UHF box, the spinner's counter, guide-bar directions, progress.
Item {
    id: idTop
    width: 1280
    height: 720

    StringInfo { id: stringInfo }

    ISDBtSystemToastPopup { id: idToast; width: 800; height: 400 }
    SignalSpy { id: idSwitchSpy; target: idToast; signalName: "switchingChanged" }
    ISDBtStatusBar { id: idStatusBar; x: 400 }
    ISDBtLoading { id: idLoading; y: 300; visible: false }
    ISDBtGuideBar { id: idGuideBar; y: 500 }
    ISDBtProgressBar { id: idProgress; y: 600; width: 400 }
    ISDBtVolumeBar { id: idVolume; y: 650 }

    TestCase {
        name: "Overlays"
        when: windowShown

        function init() {
            idToast.clear()
            idSwitchSpy.clear()
        }

        function test_toastRefusesADuplicateWhileItStands() {
            verify(idToast.setMsg("a"))
            verify(!idToast.setMsg("a"))
            compare(idToast.messages, ["a"])
            verify(idToast.setMsg("b"))
            compare(idToast.messages, ["a", "b"])
        }

        function test_fifthToastPushesTheOldestOut() {
            for (var i = 1; i <= 5; ++i)
                verify(idToast.setMsg("m" + i))
            compare(idToast.messages, ["m2", "m3", "m4", "m5"])
            verify(idToast.setMsg("m1"), "a text pushed out may come again")
            compare(idToast.messages, ["m3", "m4", "m5", "m1"])
        }

        function test_hidingEmptiesEveryLineAndClearsSwitching() {
            idToast.visible = true
            idToast.setMsg("x")
            idToast.setSettingInfoMsg("setting")
            idToast.setSwitchingMsg("switching")
            compare(idSwitchSpy.signalArguments[idSwitchSpy.count - 1][0], true)
            idToast.visible = false
            compare(idToast.messages, [])
            compare(idToast.settingInfoMsg, "")
            compare(idToast.switchingMsg, "")
            compare(idSwitchSpy.signalArguments[idSwitchSpy.count - 1][0], false)
            idToast.visible = true
        }

        function test_statusBarChannelArea_data() {
            return [
                { tag: "one service", id: 3, count: 1, sub: 1, hyphen: false },
                { tag: "two services", id: 3, count: 2, sub: 2, hyphen: true },
                { tag: "sub-channel zero", id: 3, count: 2, sub: 0, hyphen: false },
            ]
        }
        function test_statusBarChannelArea(data) {
            ISDBtData.nCurrRemoconID = data.id
            ISDBtData.nCurrRemoconIdCount = data.count
            ISDBtData.nCurrDispSubChannel = data.sub
            var number = Finder.find(idStatusBar, "channelNumber")
            compare(number.source.toString(), imageInfo.img_01_screen_num + data.id + ".png")
            compare(Finder.find(idStatusBar, "channelHyphen").visible, data.hyphen)
            var sub = Finder.find(idStatusBar, "subChannel")
            compare(sub.visible, data.hyphen)
            if (data.hyphen)
                compare(sub.source.toString(), imageInfo.img_01_screen_s_num + data.sub + ".png")
            compare(Finder.find(idStatusBar, "channelArea").rightMargin, data.hyphen ? 0 : systemInfo.sbIconRMargin)
        }

        function test_statusBarWithoutChannelKeepsAnIconWidth() {
            ISDBtData.nCurrRemoconID = 0
            verify(!Finder.find(idStatusBar, "channelArea").visible)
            compare(idStatusBar.channelAreaWidth, systemInfo.sbIconWidth)
        }

        function test_uhfBoxShowsThePhysicalChannel_data() {
            return [
                { tag: "zero", ch: 0, text: "13" },
                { tag: "forty", ch: 40, text: "53" },
                { tag: "unknown", ch: -1, text: "-" },
            ]
        }
        function test_uhfBoxShowsThePhysicalChannel(data) {
            ISDBtData.nCurrChannelNumber = data.ch
            compare(Finder.find(idStatusBar, "uhfChannel").text, data.text)
        }

        function test_spinnerCounterRestartsAtOneWhileShownAndZeroWhenHidden() {
            idLoading.visible = true
            for (var i = 0; i < 12; ++i)
                idLoading.tick()
            compare(idLoading.counter, 12)
            idLoading.tick()
            compare(idLoading.counter, 1, "after 12 back to 1, never 0")
            compare(idLoading.stepOf(1), 0)
            compare(idLoading.stepOf(2), 11, "behind the counter wraps by 12")
            idLoading.visible = false
            compare(idLoading.counter, 0)
            compare(idLoading.stepOf(5), 0)
            idLoading.visible = true
            tryVerify(function() { return idLoading.counter > 0 }, 2000, "the timer runs while shown")
            idLoading.visible = false
        }

        function test_guideBarDirectionImage_data() {
            return [
                { tag: "vertical", d: [true, true, false, false], img: "img_001_btn_direction_2vertical" },
                { tag: "bottom", d: [false, true, true, true], img: "img_001_btn_direction_3bottom" },
                { tag: "no left", d: [true, true, false, true], img: "img_001_btn_direction_3right" },
                { tag: "no right", d: [true, true, true, false], img: "img_001_btn_direction_3left" },
                { tag: "all", d: [true, true, true, true], img: "img_001_btn_direction_all" },
            ]
        }
        function test_guideBarDirectionImage(data) {
            idGuideBar.setEnableDirection(data.d[0], data.d[1], data.d[2], data.d[3])
            compare(idGuideBar.directionImage, imageInfo[data.img])
        }

        function test_progressFill() {
            idProgress.progressPercent = 0
            verify(!Finder.find(idProgress, "progressFill").visible)
            idProgress.progressPercent = 25
            compare(idProgress.fillWidth, 100)
            verify(Finder.find(idProgress, "progressFill").visible)
            idProgress.progressPercent = 150
            compare(idProgress.fillWidth, 400)
        }

        function test_volumeBoxEmptiesTheLevelWhileMuted() {
            ISDBtData.bAudioMute = false
            ISDBtData.nAudioLevel = 7
            compare(idVolume.levelText, "7")
            ISDBtData.bAudioMute = true
            compare(idVolume.levelText, "")
            ISDBtData.bAudioMute = false
        }
    }
}
