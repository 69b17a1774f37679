import QtQuick 2.6
import QtTest 1.1

TestCase {
    name: "PublishedObjects"

    SignalSpy { id: segModeSpy; target: ISDBtData; signalName: "notifySegModeChanged" }
    SignalSpy { id: muteSpy; target: ISDBtData; signalName: "notifyAudioMuteChanged" }
    SignalSpy { id: scanSpy; target: FactoryData; signalName: "notifyResScanChanged" }
    SignalSpy { id: resultSpy; target: FactoryData; signalName: "notifyResultChanged" }
    SignalSpy { id: engModeSpy; target: ISDBtEngine; signalName: "notifyEngModeChanged" }
    SignalSpy { id: countSpy; target: ISDBtThreshold; signalName: "notifyCountAutoFto1Changed" }

    function test_1_readsEveryPublishedObject() {
        compare(ISDBtData.nSegMode, 4)
        compare(ISDBtData.nAudioLevel, 15)
        compare(ISDBtData.bPowerOn, true)
        compare(ISDBtData.sSwVer, "N/A")
        compare(ISDBtData.nCurrStationIndex, -1)
        compare(ISDBtEngine.nOzbState, 0)
        compare(ISDBtEngine.bAppPowerOn, true)
        compare(ISDBtEngine.sImageRootDir, "qrc:/image/")
        fuzzyCompare(ISDBtThreshold.fCnrLevelAuto1toF, 15.5, 0.001)
        compare(ISDBtThreshold.nCountAuto1toF, 25)
        compare(ISDBtThreshold.nPeriodOpFAutoFto1, 1)
        compare(ISDBtSingalInfo.nCnrTot, 0)
        compare(FactoryData.nResult, 0)
        compare(FactoryData.findItemNotTested(), "fwVersion")
        verify(ISDBtFileIO !== null && ISDBtFileIO !== undefined)
        compare(MODEL_NAME, "QM_NRV2Z_MAX")
        verify(DEVICE_RESOLUTION >= 0 && DEVICE_RESOLUTION <= 2)
    }

    function test_2_changeSignalsArriveAfterSetters() {
        ISDBtData.nSegMode = 3
        compare(segModeSpy.count, 1)
        compare(segModeSpy.signalArguments[0][0], 3)
        compare(ISDBtData.nSegMode, 3)
        ISDBtData.nSegMode = 9
        compare(segModeSpy.count, 1, "a refused value sends nothing")

        ISDBtData.bAudioMute = true
        compare(muteSpy.count, 1)

        FactoryData.setResScan(2)
        compare(scanSpy.count, 1)
        compare(resultSpy.count, 1)
        compare(FactoryData.nResScan, 2)
        compare(FactoryData.findItemNotTested(), "fwVersion")

        ISDBtEngine.bEngMode = true
        compare(engModeSpy.count, 1)
        compare(ISDBtEngine.bEngMode, true)

        ISDBtThreshold.nCountAutoFto1 = 5
        compare(countSpy.count, 1, "a property write signals even an unchanged value")
    }

    function test_3_screenStack() {
        ISDBtEngine.pushScreen("ISDBtSetupMain")
        compare(ISDBtEngine.popScreen(), "ISDBtSetupMain")
        compare(ISDBtEngine.popScreen(), "")
    }
}
