import QtQuick 2.6

// Stand-in for the published engine in the QML tests: it records every call
// of the screens with its arguments, answers with values a test can set, and
// offers the engine's signals so that a test can emit them.
QtObject {
    id: idStub

    property string sImageRootDir: "qrc:/image/"
    property int nOzbState: 3
    property bool bAppPowerOn: true
    property bool bAvRenderOn: true
    property string sBilingualText: ""
    property bool bEngMode: false
    property int nCurrAvailSegType: 2
    property int nUsbDetection: 0

    property var calls: []
    // Results by method name; a method without an entry answers its default.
    property var results: ({})
    property var screenStack: []
    property string mainState: ""

    function reset() {
        calls = []
        results = {}
        screenStack = []
    }
    function record(name, args) {
        var list = calls
        list.push({ name: name, args: Array.prototype.slice.call(args) })
        calls = list
    }
    function callsOf(name) {
        var out = []
        for (var i = 0; i < calls.length; ++i)
            if (calls[i].name === name)
                out.push(calls[i].args)
        return out
    }
    function countOf(name) { return callsOf(name).length }
    function result(name, fallback) { return results[name] !== undefined ? results[name] : fallback }

    signal sendPrepared()
    signal sendPowerOn()
    signal sendPowerOff()
    signal sendGoToMainScreen()
    signal sendKeyCancel()
    signal sendSteeringTrackUp()
    signal sendSteeringTrackDown()
    signal sendAlertKeyBlock(string msg)
    signal sendShowHideDATouch(bool bShow)
    signal sendNotifyMesssage(string msg)
    signal sendSettingInfoMesssage(string msg)
    signal sendToastMessage(string msg)
    signal sendEwsNotifyMessage(string msg)
    signal sendInitScan()
    signal sendRefreshScan()
    signal sendStartScan()
    signal sendAdditionalScan()
    signal sendStopScan()
    signal sendSearchPercent(int percent)
    signal sendScanComplete()
    signal sendStartSearch()
    signal sendStartSearch2TS()
    signal sendStopSearch()
    signal sendEndSearch(bool bResult)
    signal sendHandoverChannel(int type, int chNum)
    signal sendHandoverResult(int result)
    signal sendStartChannel(bool bEventRelay)
    signal sendStartEndChannel()
    signal sendChangeChannel(int lcn, int subChannel, int chNum, int threeDigitNum, string chName, bool prev, bool next)
    signal sendChangeChannelFail()
    signal sendChannelLogoUpdated(int channelNumber, int networkID)
    signal sendSignalWeak(bool bWeak)
    signal sendVideoDefinitionUpdate()
    signal sendEnterEpgScreen()
    signal sendExitEpgScreen()
    signal sendEwsReceived(int serviceId)
    signal sendSetShowOSD(bool isOn)
    signal sendSubtitleUpdate()
    signal sendEnterEngMode()
    signal sendExitEngMode()
    signal sendEnterFactoryMode()
    signal notifyBilingualTextChanged(string sVal)
    signal sendCompleteLogCopy(bool result)

    function pushScreen(name) { record("pushScreen", arguments); var s = screenStack; s.push(name); screenStack = s }
    function popScreen() {
        record("popScreen", arguments)
        var s = screenStack
        var top = s.length > 0 ? s.pop() : ""
        screenStack = s
        return top
    }
    function setMainState(name) { record("setMainState", arguments); mainState = name }
    function printLog(text) { }
    function printLogAll(text) { }

    function execInitScan() { record("execInitScan", arguments) }
    function execScan() { record("execScan", arguments) }
    function execAdditionalScan() { record("execAdditionalScan", arguments) }
    function execStopScan() { record("execStopScan", arguments) }
    function execStationSearch() { record("execStationSearch", arguments) }
    function execStopSearch() { record("execStopSearch", arguments) }
    function execHomeList() { record("execHomeList", arguments) }
    function execChangeChannel() { record("execChangeChannel", arguments) }
    function execNextChannel() { record("execNextChannel", arguments) }
    function execPrevChannel() { record("execPrevChannel", arguments) }
    function execPower() { record("execPower", arguments) }
    function execChangeShowChannelInfo() { record("execChangeShowChannelInfo", arguments) }
    function execBilingualChange() { record("execBilingualChange", arguments) }
    function execChangeAudioMute() { record("execChangeAudioMute", arguments) }
    function execChangeAudioLevel() { record("execChangeAudioLevel", arguments) }
    function execSegModeChange() { record("execSegModeChange", arguments) }
    function execStationSearchOpChange() { record("execStationSearchOpChange", arguments) }
    function execAutoStationSearchChange() { record("execAutoStationSearchChange", arguments) }
    function execBackgroundSearchChange() { record("execBackgroundSearchChange", arguments) }
    function execSetSubtitle() { record("execSetSubtitle", arguments) }
    function execSetSuperImpose() { record("execSetSuperImpose", arguments) }
    function execClockDisplayChange() { record("execClockDisplayChange", arguments) }
    function execScreenRatioChange() { record("execScreenRatioChange", arguments) }
    function execAccOpChange() { record("execAccOpChange", arguments) }
    function execAudioLevelChange() { record("execAudioLevelChange", arguments) }
    function execScreenScaleChange() { record("execScreenScaleChange", arguments) }
    function execVideoDelayChange() { record("execVideoDelayChange", arguments) }
    function execFactoryReset() { record("execFactoryReset", arguments) }
    function execLogCopy() { record("execLogCopy", arguments) }
    function requestEpgListUpdate() { record("requestEpgListUpdate", arguments) }
    function getCountOfRemoconID() { record("getCountOfRemoconID", arguments); return result("getCountOfRemoconID", 1) }
    function findAvailableOtherSubChannel() {
        record("findAvailableOtherSubChannel", arguments)
        return result("findAvailableOtherSubChannel", 2)
    }
    function getStationListCount() { return result("getStationListCount", 3) }
    function getChannelListCount() { return result("getChannelListCount", 0) }
    function selectPrevStation() { record("selectPrevStation", arguments); return result("selectPrevStation", 0) }
    function selectNextStation() { record("selectNextStation", arguments); return result("selectNextStation", 0) }
    function changeChannel() { record("changeChannel", arguments); return result("changeChannel", 0) }
    function resetWeakCount() { record("resetWeakCount", arguments) }
    function clearSubtitleImage() { record("clearSubtitleImage", arguments) }
    function startEWS() { record("startEWS", arguments) }
    function getStationLogoPath() { record("getStationLogoPath", arguments); return result("getStationLogoPath", "") }
    function checkCurrentHdmiResolution() { record("checkCurrentHdmiResolution", arguments) }
    function checkDispCable() { record("checkDispCable", arguments); return result("checkDispCable", 2) }
    function checkAvailableHdmiResolution() {
        record("checkAvailableHdmiResolution", arguments)
        return result("checkAvailableHdmiResolution", true)
    }
    function changeHDMIMode() { record("changeHDMIMode", arguments) }
    function setEngScreenStatus() { record("setEngScreenStatus", arguments) }

    // Engineering thresholds: as the engine, a changed value is stored in
    // the threshold object (the CNR level arrives in tenths of a dB).
    function setEngThreshold(name, groups, type, value) {
        record(name, [type, value])
        if (type < 0 || type > 2)
            return
        var property = groups[type]
        var stored = property.charAt(0) === "f" ? value / 10.0 : value
        if (ISDBtThreshold[property] !== stored)
            ISDBtThreshold[property] = stored
    }
    function setEngAuto1toF(type, value) {
        setEngThreshold("setEngAuto1toF", ["fCnrLevelAuto1toF", "nPeriodAuto1toF", "nCountAuto1toF"], type, value)
    }
    function setEngAutoFto1(type, value) {
        setEngThreshold("setEngAutoFto1", ["nPerSignAutoFto1", "nPeriodAutoFto1", "nCountAutoFto1"], type, value)
    }
    function setEngOp1Auto1toF(type, value) {
        setEngThreshold("setEngOp1Auto1toF", ["nPerSignOp1Auto1toF", "nPeriodOp1Auto1toF", "nCountOp1Auto1toF"],
                        type, value)
    }
    function setEngOp1AutoFto1(type, value) {
        setEngThreshold("setEngOp1AutoFto1", ["nPerSignOp1AutoFto1", "nPeriodOp1AutoFto1", "nCountOp1AutoFto1"],
                        type, value)
    }
    function setEngOpFAuto1toF(type, value) {
        setEngThreshold("setEngOpFAuto1toF", ["nPerSignOpFAuto1toF", "nPeriodOpFAuto1toF", "nCountOpFAuto1toF"],
                        type, value)
    }
    function setEngOpFAutoFto1(type, value) {
        setEngThreshold("setEngOpFAutoFto1", ["nPerSignOpFAutoFto1", "nPeriodOpFAutoFto1", "nCountOpFAutoFto1"],
                        type, value)
    }

    // Factory test: port CNRs from results ("getAntPort01Cnr" ...).
    function getAntPort01Cnr() { return result("getAntPort01Cnr", 0) }
    function getAntPort02Cnr() { return result("getAntPort02Cnr", 0) }
    function getAntPort03Cnr() { return result("getAntPort03Cnr", 0) }
    function getAntPort04Cnr() { return result("getAntPort04Cnr", 0) }
    function execStartUsbDetect() { record("execStartUsbDetect", arguments) }
    function execFactoryTestComplete() { record("execFactoryTestComplete", arguments) }
}
