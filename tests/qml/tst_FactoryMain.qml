import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"
import "Finder.js" as Finder

// The factory test screen in the root window on the recording engine
// stand-in and the real factory record: the automatic chain with its scan
// and CNR steps, operator verdicts, the result row, completion, the USB
// caution and resuming an interrupted test.
Item {
    id: idTop
    width: 1280
    height: 720

    Loader {
        id: idLoader
        anchors.fill: parent
        source: "../../qml/main.qml"
    }
    property var root: idLoader.item
    property var test: root ? Finder.find(root, "factoryTest") : null
    StringInfo { id: stringInfo }

    TestCase {
        name: "FactoryMain"
        when: windowShown && idLoader.status === Loader.Ready

        readonly property var allKeys: ["fwVersion", "chrontelVersion", "productCurrent", "antCurrent", "antShort",
                                        "scan", "highFreq01", "highFreq02", "highFreq03", "highFreq04",
                                        "hdmiOutput", "cvbsOutput", "cvbsLeftOutput", "cvbsRightOutput"]

        function initTestCase() {
            ISDBtData.bInitialized = true
            ISDBtData.nCurrStationListCnt = 3
        }
        function init() {
            ISDBtEngine.reset()
            ISDBtEngine.nUsbDetection = 0
            ISDBtData.sSwVer = "1.0.0"
            ISDBtData.sChrontelVer = "1.2.3"
            ISDBtData.nAntennaState = 0
            FactoryData.resetAllProperty()
            FactoryData.setResChrontelVersion(0)
            FactoryData.setStatus(0)
            FactoryData.setFinalResult(0)
            for (var port = 1; port <= 4; ++port)
                FactoryData["setResHighFreqP" + port + "Cnr"](0)
        }
        function cleanup() {
            root.showHideFactory(false)
            ISDBtData.nAntennaState = 0
        }

        function open() {
            ISDBtEngine.sendEnterFactoryMode()
            verify(test !== null, "the screen is loaded")
            tryVerify(function() { return test.activeFocus })
        }
        function row(i) { return test.row(i) }
        function label(i) { return Finder.find(row(i), "label").mText }
        // Every item with this value (by the record), the rest 0.
        function record(values) {
            for (var i = 0; i < allKeys.length; ++i)
                FactoryData.setProperty(allKeys[i], values[allKeys[i]] !== undefined ? values[allKeys[i]] : 0)
        }
        function passManualRow() { keyClick(Qt.Key_J) }
        function setPortCnrs(cnrs) {
            var results = ISDBtEngine.results
            for (var i = 0; i < 4; ++i)
                results["getAntPort0" + (i + 1) + "Cnr"] = cnrs[i]
            ISDBtEngine.results = results
        }
        // Up to the reception row by the operator's verdicts and a scan.
        function runToReception() {
            open()
            compare(test.focusRow, 2)
            passManualRow()
            compare(test.focusRow, 3, "a pass of the product current starts the antenna voltage")
            passManualRow()
            compare(test.focusRow, 4)
            ISDBtData.nAntennaState = 1
            compare(FactoryData.nResAntShort, 2, "a short while the row has the focus passes it")
            verify(row(4).mSelected[0])
            compare(test.focusRow, 5)
            ISDBtData.nAntennaState = 0
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.countOf("execInitScan"), 1)
            ISDBtEngine.results = { getStationListCount: 3 }
            ISDBtEngine.sendInitScan()
            ISDBtEngine.sendScanComplete()
            compare(FactoryData.nResScan, 2)
            tryVerify(function() { return test.activeFocus }, 1000, "the root window gives the focus back")
            ISDBtEngine.sendStartEndChannel()
            compare(test.focusRow, 6)
        }

        function test_freshBoardPassesTheBoardChecksAndWaitsForTheOperator() {
            open()
            compare(FactoryData.nResFwVersion, 2)
            compare(FactoryData.nResChrontelVersion, 2)
            compare(FactoryData.nStatus, 1)
            compare(ISDBtEngine.countOf("execStartUsbDetect"), 1)
            compare(test.focusRow, 2, "the product current is measured by the operator")
            compare(row(0).mBtnTexts[0], "Pass")
            verify(row(0).mSelected[0])
            compare(label(0), "01. F/W 버전 검사 (1.0.0)")
            compare(label(1), "02. 크론텔 버전 검사 (1.2.3)")
            compare(label(11), "12. 결과")
            compare(row(2).modeTag, "[수동]")
            compare(row(4).modeTag, "[자동/수동]")
            compare(row(5).modeTag, "[자동]")
            compare(row(5).mBtnTexts[0], "Start")
            compare(row(11).mBtnTexts, ["종료", "재테스트"])
        }

        function test_boardChecksFail_data() {
            return [
                { tag: "firmware unknown", sw: "N/A", chrontel: "1.2.3", fw: 1, ch: 0 },
                { tag: "video chip unknown", sw: "1.0.0", chrontel: "N/A", fw: 2, ch: 1 },
                { tag: "video chip zero", sw: "1.0.0", chrontel: "0.0.0", fw: 2, ch: 1 },
            ]
        }
        function test_boardChecksFail(data) {
            ISDBtData.sSwVer = data.sw
            ISDBtData.sChrontelVer = data.chrontel
            open()
            compare(FactoryData.nResFwVersion, data.fw)
            compare(FactoryData.nResChrontelVersion, data.ch)
            var failed = data.fw === 1 ? 0 : 1
            compare(row(failed).mBtnTexts[0], "Fail")
            compare(row(failed).rowResult, 1)
            compare(FactoryData.nResProductCurrent, 0, "nothing after the failed check runs by itself")
            compare(FactoryData.nResult, 1)
            compare(test.focusRow, 11, "a failing verdict takes the focus to the result row")
            verify(row(11).mSelected[1], "retest is shown selected")
            compare(label(11), "12. 결과 (불합격)")
        }

        function test_wholeChainPassesAndCompletesByItself() {
            runToReception()
            compare(label(5), "06. 수신성능 검사 (스캔)  (CH : 3)")
            verify(label(6).indexOf(" (Wait)") > 0)
            verify(test.receptionTimer.running)
            setPortCnrs([18, 25, 20, 30])
            tryCompare(FactoryData, "nResHighFreqP4", 2, 6000)
            compare([FactoryData.nResHighFreqP1Cnr, FactoryData.nResHighFreqP2Cnr, FactoryData.nResHighFreqP3Cnr,
                     FactoryData.nResHighFreqP4Cnr], [18, 25, 20, 30])
            compare(row(6).mBtnTexts, ["18", "25", "20", "30"])
            compare(row(6).mSelected, [true, true, true, true])
            compare(label(6), "07. 수신성능 검사 (CNR >= 18)")
            compare(test.focusRow, 7, "every port passed: on to the HDMI output")
            for (var i = 0; i < 4; ++i)
                passManualRow()
            compare(FactoryData.nResult, 2)
            compare(label(11), "12. 결과 (합격)")
            compare(test.focusRow, 11)
            verify(row(11).mSelected[0])
            verify(test.completeTimer.running)
            tryVerify(function() { return ISDBtEngine.countOf("execFactoryTestComplete") === 1 }, 3000)
            compare(FactoryData.nFinalResult, 2)
            verify(!root.bFactoryShow)
            compare(Finder.find(root, "factoryLoader").source.toString(), "")
        }

        function test_portVerdicts_data() {
            return [
                { tag: "exactly 18 passes", cnrs: [18, 18, 18, 18], ports: [2, 2, 2, 2], focus: 7 },
                { tag: "one port short", cnrs: [30, 17, 30, 30], ports: [2, 1, 2, 2], focus: 11 },
            ]
        }
        function test_portVerdicts(data) {
            runToReception()
            setPortCnrs(data.cnrs)
            test.receptionTimer.stop()
            test.measureAllPorts()
            compare([FactoryData.nResHighFreqP1, FactoryData.nResHighFreqP2, FactoryData.nResHighFreqP3,
                     FactoryData.nResHighFreqP4], data.ports)
            compare(test.focusRow, data.focus)
        }

        function test_retestOfAPortStoresTheNewCnrWithItsVerdict() {
            runToReception()
            setPortCnrs([30, 12, 30, 30])
            test.receptionTimer.stop()
            test.measureAllPorts()
            compare(FactoryData.nResHighFreqP2, 1)
            setPortCnrs([30, 22, 30, 30])
            test.setFocusRow(6)
            keyClick(Qt.Key_K)
            keyClick(Qt.Key_J)
            compare(FactoryData.nResHighFreqP2, 2)
            compare(FactoryData.nResHighFreqP2Cnr, 22, "the stored figure is the one the verdict came from")
            compare(row(6).mBtnTexts[1], "22")
            compare(row(6).mFocusBtn, 2, "the focus moves on to the next port")
            keyClick(Qt.Key_K)
            keyClick(Qt.Key_K)
            keyClick(Qt.Key_K)
            compare(row(6).mFocusBtn, 3, "not past the last button")
            keyClick(Qt.Key_J)
            compare(test.focusRow, 7, "the fourth port moves on to the first untested row")
        }

        function test_scanProgressAndAScanWithoutStations() {
            runToReception()
            test.setFocusRow(5)
            ISDBtEngine.sendStartScan()
            compare(row(5).mBtnTexts[0], "0 %")
            ISDBtEngine.sendSearchPercent(45)
            compare(row(5).mBtnTexts[0], "45 %")
            ISDBtEngine.sendSearchPercent(140)
            compare(row(5).mBtnTexts[0], "0 %", "over 100 shows as 0")
            ISDBtEngine.results = { getStationListCount: 0 }
            ISDBtEngine.sendScanComplete()
            compare(FactoryData.nResScan, 1)
            compare(row(5).mBtnTexts[0], "Fail")
            compare(label(5), "06. 수신성능 검사 (스캔)  (CH : 0)")
        }

        function test_manualFailKeepsTheFocusOnItsRowUntilTheVerdictMovesIt() {
            open()
            keyClick(Qt.Key_K)
            compare(row(2).mFocusBtn, 1)
            keyClick(Qt.Key_K)
            compare(row(2).mFocusBtn, 1, "manual rows have two buttons")
            keyClick(Qt.Key_J)
            compare(FactoryData.nResProductCurrent, 1)
            verify(row(2).mSelected[1])
            compare(row(2).rowResult, 1)
            compare(test.focusRow, 11, "the failing overall verdict moves the focus")
            keyClick(Qt.Key_M)
            compare(test.focusRow, 11, "no wrap below the result row")
            for (var i = 0; i < 14; ++i)
                keyClick(Qt.Key_U)
            compare(test.focusRow, 0, "no wrap above the first row")
        }

        function test_usbStickShowsTheCautionInsteadOfCompleting() {
            open()
            ISDBtEngine.nUsbDetection = 1
            var caution = Finder.find(root, "usbCaution")
            keyClick(Qt.Key_D)
            verify(caution.visible)
            compare(Finder.find(caution, "cautionText").mText, "USB를 제거하세요.")
            compare(ISDBtEngine.countOf("execFactoryTestComplete"), 0)
            verify(root.bFactoryShow)
            var before = test.focusRow
            keyClick(Qt.Key_M)
            compare(test.focusRow, before, "rows do not move under the caution")
            keyClick(Qt.Key_D)
            verify(!caution.visible)
            ISDBtEngine.nUsbDetection = 0
            keyClick(Qt.Key_D)
            compare(ISDBtEngine.countOf("execFactoryTestComplete"), 1)
            verify(!root.bFactoryShow)
        }

        function test_retestAfterAFailedRunStartsAgainAtTheFirmware() {
            ISDBtData.sSwVer = "N/A"
            open()
            compare(FactoryData.nResult, 1)
            FactoryData.setProperty("hdmiOutput", 2)
            ISDBtData.sSwVer = "1.0.0"
            test.setFocusRow(11)
            keyClick(Qt.Key_K)
            keyClick(Qt.Key_J)
            compare(FactoryData.nFinalResult, 0)
            compare(FactoryData.nStatus, 1)
            compare(FactoryData.nResHdmiOutput, 0, "the record's items are cleared")
            compare(FactoryData.nResFwVersion, 2)
            compare(FactoryData.nResult, 0)
            compare(test.focusRow, 2)
            verify(!row(11).mSelected[0] && !row(11).mSelected[1])
        }

        function test_interruptedTestResumesAtTheFirstUntestedRow() {
            record({ fwVersion: 2, chrontelVersion: 2, productCurrent: 2, antShort: 1, highFreq01: 2 })
            FactoryData.setResHighFreqP1Cnr(21)
            FactoryData.setStatus(1)
            open()
            compare(FactoryData.nResProductCurrent, 2, "nothing is cleared")
            compare(test.focusRow, 3)
            verify(row(2).mSelected[0])
            verify(row(4).mSelected[1])
            compare(row(6).mBtnTexts, ["21", "-", "-", "-"])
            verify(row(11).mSelected[1], "the failing verdict shows on the result row")
        }

        function test_passedAndRecordedTestWaitsForTheOperator() {
            var all = {}
            for (var i = 0; i < allKeys.length; ++i)
                all[allKeys[i]] = 2
            record(all)
            FactoryData.setStatus(2)
            FactoryData.setFinalResult(2)
            open()
            compare(test.focusRow, 11)
            verify(row(11).mSelected[0])
            verify(!test.completeTimer.running, "a recorded pass does not complete by itself")
            compare(row(7).rowResult, 2)
            keyClick(Qt.Key_J)
            compare(ISDBtEngine.countOf("execFactoryTestComplete"), 1)
            compare(FactoryData.nFinalResult, 2)
        }
    }
}
