import QtQuick 2.6
import "../Base"

// The factory test rows and their sequence. The board checks run by
// themselves (firmware, video output chip); each operator verdict, the scan
// and the reception measurement lead on to the next check while the screen
// is shown and has the focus. Every result goes into the factory record,
// which derives the overall verdict; the result row follows that verdict.
BaseComponent {
    id: idTest

    property int focusRow: 0
    property int stationCount: 0
    property string scanWaitText: ""
    property string receptionWaitText: ""
    property bool cautionShown: false
    // The record's overall verdict as last seen, so that only a change of it
    // moves the focus.
    property int lastResult: 0

    readonly property var rowKeys: [
        [idFactoryMain.key_FACTORY_FWVERSION], [idFactoryMain.key_FACTORY_CHRONTELVERSION],
        [idFactoryMain.key_FACTORY_PRODUCTCURRENT], [idFactoryMain.key_FACTORY_ANTCURRENT],
        [idFactoryMain.key_FACTORY_ANTSHORT], [idFactoryMain.key_FACTORY_SCAN],
        [idFactoryMain.key_FACTORY_HIGHFREQUENCY_P1, idFactoryMain.key_FACTORY_HIGHFREQUENCY_P2,
         idFactoryMain.key_FACTORY_HIGHFREQUENCY_P3, idFactoryMain.key_FACTORY_HIGHFREQUENCY_P4],
        [idFactoryMain.key_FACTORY_HDMIOUTPUT], [idFactoryMain.key_FACTORY_CVBSOUTPUT],
        [idFactoryMain.key_FACTORY_CVBSLEFTOUTPUT], [idFactoryMain.key_FACTORY_CVBSRIGHTOUTPUT], []]
    readonly property var rowModes: [
        idFactoryMain.autoMode, idFactoryMain.autoMode, idFactoryMain.manualMode, idFactoryMain.manualMode,
        idFactoryMain.halfAutoMode, idFactoryMain.autoMode, idFactoryMain.autoMode, idFactoryMain.manualMode,
        idFactoryMain.manualMode, idFactoryMain.manualMode, idFactoryMain.manualMode, idFactoryMain.halfAutoMode]
    readonly property var rowLabels: [
        ". F/W 버전 검사" + " (" + ISDBtData.sSwVer + ")",
        ". 크론텔 버전 검사" + " (" + ISDBtData.sChrontelVer + ")",
        ". 제품 전체 전류 검사" + " (320~380mA)",
        ". 안테나 / 전원 전압 검사" + " (7.5~8.5V)",
        ". 안테나 / SHORT 동작 검사",
        ". 수신성능 검사 (스캔) " + " (CH : " + stationCount + ")" + scanWaitText,
        ". 수신성능 검사 (CNR >= 18)" + receptionWaitText,
        ". HDMI 출력 및 영상 검사",
        ". CVBS 영상 출력 검사",
        ". CVBS 음성 (L) 출력 검사",
        ". CVBS 음성 (R) 출력 검사",
        ". 결과" + (FactoryData.nResult === idFactoryMain.e_OK ? " (합격)"
                   : FactoryData.nResult === idFactoryMain.e_NOK ? " (불합격)" : "")]

    readonly property QtObject receptionTimer: idReceptionTimer
    readonly property QtObject completeTimer: idCompleteTimer

    function row(i) { return idRows.itemAt(i) }
    function isActive() { return visible && activeFocus }
    function writeKey(key, value) { FactoryData.setProperty(key, value) }
    function keyValue(key) {
        var names = {
            fwVersion: "nResFwVersion", chrontelVersion: "nResChrontelVersion",
            productCurrent: "nResProductCurrent", antCurrent: "nResAntCurrent", antShort: "nResAntShort",
            scan: "nResScan", highFreq01: "nResHighFreqP1", highFreq02: "nResHighFreqP2",
            highFreq03: "nResHighFreqP3", highFreq04: "nResHighFreqP4", hdmiOutput: "nResHdmiOutput",
            cvbsOutput: "nResCvbsOutput", cvbsLeftOutput: "nResCvbsLeftOutput", cvbsRightOutput: "nResCvbsRightOutput"
        }
        return FactoryData[names[key]]
    }
    function resultText(result) {
        return result === idFactoryMain.e_OK ? "Pass" : result === idFactoryMain.e_NOK ? "Fail" : "-"
    }
    function scanText(result) { return result === idFactoryMain.e_NT ? "Start" : resultText(result) }
    function portCnr(port) {
        switch (port) {
        case 1: return ISDBtEngine.getAntPort01Cnr()
        case 2: return ISDBtEngine.getAntPort02Cnr()
        case 3: return ISDBtEngine.getAntPort03Cnr()
        case 4: return ISDBtEngine.getAntPort04Cnr()
        }
        return 0
    }

    function setFocusRow(i) {
        if (i < 0 || i >= idFactoryMain.factoryItemCount)
            return
        focusRow = i
        row(i).mFocusBtn = 0
    }
    // The row of a record key; no key (nothing untested) is the result row.
    function rowOfKey(key) {
        for (var i = 0; i < rowKeys.length; ++i)
            if (rowKeys[i].indexOf(key) >= 0)
                return i
        return idFactoryMain.idxResult
    }
    function focusFirstUntested() { setFocusRow(rowOfKey(FactoryData.findItemNotTested())) }

    // Every row back to "not tested".
    function clearRows() {
        for (var i = 0; i < idFactoryMain.factoryItemCount; ++i)
            row(i).clearSelection()
        row(idFactoryMain.idxFwVersion).setButton(0, "-", 0, false)
        row(idFactoryMain.idxChrontelVersion).setButton(0, "-", 0, false)
        row(idFactoryMain.idxScan).setButton(0, "Start", 0, false)
        for (var port = 0; port < 4; ++port)
            row(idFactoryMain.idxReception).setButton(port, "-", 0, false)
        stationCount = 0
        scanWaitText = ""
        receptionWaitText = ""
    }

    // --- the automatic chain ---

    function runFirmwareStep() {
        writeKey(idFactoryMain.key_FACTORY_FWVERSION, 0)
        setFocusRow(idFactoryMain.idxFwVersion)
        var result = ISDBtData.sSwVer !== "N/A" ? idFactoryMain.e_OK : idFactoryMain.e_NOK
        row(idFactoryMain.idxFwVersion).setButton(0, resultText(result), result, true)
        writeKey(idFactoryMain.key_FACTORY_FWVERSION, result)
        if (result === idFactoryMain.e_OK)
            runChrontelStep()
    }
    function runChrontelStep() {
        writeKey(idFactoryMain.key_FACTORY_CHRONTELVERSION, 0)
        setFocusRow(idFactoryMain.idxChrontelVersion)
        var version = ISDBtData.sChrontelVer
        var result = version !== "N/A" && version !== "0.0.0" ? idFactoryMain.e_OK : idFactoryMain.e_NOK
        row(idFactoryMain.idxChrontelVersion).setButton(0, resultText(result), result, true)
        writeKey(idFactoryMain.key_FACTORY_CHRONTELVERSION, result)
        if (result === idFactoryMain.e_OK && isActive())
            runManualStep(idFactoryMain.idxProductCurrent)
    }
    function runManualStep(index) {
        writeKey(rowKeys[index][0], 0)
        row(index).clearSelection()
        setFocusRow(index)
    }
    function runAntShortStep() {
        runManualStep(idFactoryMain.idxAntShort)
        if (ISDBtData.nAntennaState === 1)
            passAntShort()
    }
    function passAntShort() {
        row(idFactoryMain.idxAntShort).select(0)
        writeKey(idFactoryMain.key_FACTORY_ANTSHORT, idFactoryMain.e_OK)
    }
    function runScanStep() {
        writeKey(idFactoryMain.key_FACTORY_SCAN, 0)
        row(idFactoryMain.idxScan).setButton(0, "Start", 0, false)
        setFocusRow(idFactoryMain.idxScan)
    }
    function runReceptionStep() {
        var reception = row(idFactoryMain.idxReception)
        for (var port = 0; port < 4; ++port) {
            writeKey(rowKeys[idFactoryMain.idxReception][port], 0)
            reception.setButton(port, "-", 0, false)
        }
        setFocusRow(idFactoryMain.idxReception)
        receptionWaitText = " (Wait)"
        idReceptionTimer.restart()
    }
    // Measures one port (1-4): its CNR is stored with its verdict.
    function measurePort(port) {
        var cnr = portCnr(port)
        FactoryData["setResHighFreqP" + port + "Cnr"](cnr)
        var result = cnr >= idFactoryMain.fullSegCnr ? idFactoryMain.e_OK : idFactoryMain.e_NOK
        row(idFactoryMain.idxReception).setButton(port - 1, String(cnr), result, true)
        writeKey(rowKeys[idFactoryMain.idxReception][port - 1], result)
    }
    function measureAllPorts() {
        receptionWaitText = ""
        for (var port = 1; port <= 4; ++port)
            measurePort(port)
        row(idFactoryMain.idxReception).selectAll()
    }

    // --- start, restore, complete ---

    function onShown() {
        setFocusRow(0)
        ISDBtEngine.execStartUsbDetect()
        if (FactoryData.nResult === idFactoryMain.e_NT)
            startTest()
        else
            restoreRows()
    }
    function startTest() {
        if (FactoryData.nStatus !== idFactoryMain.e_None) {
            restoreRows()
            focusFirstUntested()
        } else {
            FactoryData.resetAllProperty()
            clearRows()
            runFirmwareStep()
        }
        FactoryData.setProperty(idFactoryMain.key_FACTORY_STATUS, idFactoryMain.e_STARTED)
    }
    function restoreRows() {
        clearRows()
        for (var i = 0; i < idFactoryMain.idxResult; ++i) {
            var item = row(i)
            if (i === idFactoryMain.idxReception) {
                for (var port = 1; port <= 4; ++port) {
                    var portResult = keyValue(rowKeys[i][port - 1])
                    if (portResult !== idFactoryMain.e_NT)
                        item.setButton(port - 1, String(FactoryData["nResHighFreqP" + port + "Cnr"]), portResult, true)
                }
                continue
            }
            var result = keyValue(rowKeys[i][0])
            if (result === idFactoryMain.e_NT)
                continue
            if (i === idFactoryMain.idxScan)
                item.setButton(0, scanText(result), result, true)
            else if (item.isAuto)
                item.setButton(0, resultText(result), result, true)
            else
                item.select(result === idFactoryMain.e_OK ? 0 : 1)
        }
        showOverallResult(FactoryData.nResult)
        if (FactoryData.nStatus === idFactoryMain.e_STARTED)
            focusFirstUntested()
        else
            setFocusRow(idFactoryMain.idxResult)
    }
    function showOverallResult(result) {
        var resultRow = row(idFactoryMain.idxResult)
        resultRow.select(result === idFactoryMain.e_OK ? 0 : result === idFactoryMain.e_NOK ? 1 : -1)
    }
    function completeTest() {
        if (ISDBtEngine.nUsbDetection === 1) {
            cautionShown = true
            return
        }
        // The screen goes with the loader: keep what is needed afterwards.
        var engine = ISDBtEngine
        var app = typeof idAppMain !== "undefined" ? idAppMain : null
        idCompleteTimer.stop()
        idReceptionTimer.stop()
        FactoryData.setFinalResult(FactoryData.nResult)
        if (app)
            app.showHideFactory(false)
        engine.execFactoryTestComplete()
        if (app)
            app.focusCurrentScreen()
    }
    function retest() {
        FactoryData.setFinalResult(0)
        FactoryData.setProperty(idFactoryMain.key_FACTORY_STATUS, idFactoryMain.e_None)
        startTest()
    }

    // --- buttons and keys ---

    function pressButton(index, button) {
        var item = row(index)
        switch (index) {
        case idFactoryMain.idxFwVersion:
            runFirmwareStep()
            return
        case idFactoryMain.idxChrontelVersion:
            runChrontelStep()
            return
        case idFactoryMain.idxScan:
            ISDBtEngine.execInitScan()
            return
        case idFactoryMain.idxReception:
            retestPort(button + 1)
            return
        case idFactoryMain.idxResult:
            if (button === 0)
                completeTest()
            else
                retest()
            return
        }
        var key = rowKeys[index][0]
        item.select(button)
        if (button === 0) {
            writeKey(key, idFactoryMain.e_OK)
            focusFirstUntested()
        } else {
            writeKey(key, idFactoryMain.e_NOK)
        }
    }
    // A port measured again: the new CNR is stored with the new verdict, so
    // that the record never pairs a verdict with another measurement.
    function retestPort(port) {
        writeKey(rowKeys[idFactoryMain.idxReception][port - 1], 0)
        measurePort(port)
        if (port < 4)
            row(idFactoryMain.idxReception).mFocusBtn = port
        else
            focusFirstUntested()
    }

    onDownKeyPressed: if (!cautionShown && focusRow < idFactoryMain.idxResult) setFocusRow(focusRow + 1)
    onUpKeyPressed: if (!cautionShown && focusRow > 0) setFocusRow(focusRow - 1)
    onLeftKeyPressed: {
        var item = row(focusRow)
        if (item.mFocusBtn > 0)
            item.mFocusBtn = item.mFocusBtn - 1
    }
    onRightKeyPressed: {
        var item = row(focusRow)
        if (item.mFocusBtn < item.mBtnCount - 1)
            item.mFocusBtn = item.mFocusBtn + 1
    }
    onClickOrKeySelected: if (inputType === systemInfo.inputKey) pressButton(focusRow, row(focusRow).mFocusBtn)
    onBackKeyPressed: {
        if (cautionShown)
            cautionShown = false
        else
            completeTest()
    }

    // --- the record and the engine ---

    Connections {
        target: FactoryData
        function onNotifyResProductCurrentChanged(nVal) {
            if (nVal === idFactoryMain.e_OK && idTest.isActive())
                idTest.runManualStep(idFactoryMain.idxAntCurrent)
        }
        function onNotifyResAntCurrentChanged(nVal) {
            if (nVal === idFactoryMain.e_OK && idTest.isActive())
                idTest.runAntShortStep()
        }
        function onNotifyResAntShortChanged(nVal) {
            if (nVal === idFactoryMain.e_OK && idTest.isActive())
                idTest.runScanStep()
        }
        function onNotifyResHighFreqP4Changed(nVal) {
            if (!idTest.isActive())
                return
            var ports = [FactoryData.nResHighFreqP1, FactoryData.nResHighFreqP2, FactoryData.nResHighFreqP3,
                         FactoryData.nResHighFreqP4]
            if (ports.indexOf(idFactoryMain.e_NOK) >= 0)
                idTest.setFocusRow(idFactoryMain.idxResult)
            else if (ports.every(function(v) { return v === idFactoryMain.e_OK }))
                idTest.runManualStep(idFactoryMain.idxHdmiOutput)
        }
        function onNotifyResultChanged(nVal) {
            if (nVal === idTest.lastResult)
                return
            idTest.lastResult = nVal
            idTest.showOverallResult(nVal)
            if (nVal === idFactoryMain.e_NT)
                return
            idTest.setFocusRow(idFactoryMain.idxResult)
            if (nVal === idFactoryMain.e_OK && FactoryData.nFinalResult !== idFactoryMain.e_OK)
                idCompleteTimer.restart()
            else if (nVal === idFactoryMain.e_NOK)
                idTest.row(idFactoryMain.idxResult).mFocusBtn = 1
        }
    }
    Connections {
        target: ISDBtData
        function onNotifyAntennaStateChanged(nVal) {
            if (nVal === 1 && idTest.focusRow === idFactoryMain.idxAntShort && idTest.isActive())
                idTest.passAntShort()
        }
    }
    Connections {
        target: ISDBtEngine
        function scanStarted() {
            if (typeof idAppMain !== "undefined")
                idAppMain.setISDBtInitVisible(false)
            if (idTest.factoryShown())
                idTest.row(idFactoryMain.idxScan).setButton(0, "0 %", 0, false)
        }
        function onSendInitScan() { scanStarted() }
        function onSendStartScan() { scanStarted() }
        function onSendSearchPercent(percent) {
            if (idTest.factoryShown())
                idTest.row(idFactoryMain.idxScan).setButton(0, (percent > 100 ? 0 : percent) + " %", 0, false)
        }
        function onSendScanComplete() {
            if (idTest.factoryShown()) {
                var count = ISDBtEngine.getStationListCount()
                idTest.stationCount = count
                var result = count >= 1 ? idFactoryMain.e_OK : idFactoryMain.e_NOK
                idTest.writeKey(idFactoryMain.key_FACTORY_SCAN, result)
                if (result === idFactoryMain.e_OK)
                    idTest.scanWaitText = " (Wait)"
                idTest.row(idFactoryMain.idxScan).setButton(0, idTest.scanText(FactoryData.nResScan), FactoryData.nResScan,
                                                            true)
            }
            if (typeof idAppMain !== "undefined")
                idAppMain.gotoMainScreen()
        }
        function onSendStartEndChannel() {
            if (!idTest.isActive())
                return
            idTest.scanWaitText = ""
            idTest.runReceptionStep()
        }
    }
    function factoryShown() { return typeof idAppMain === "undefined" || idAppMain.bFactoryShow }

    Timer {
        id: idReceptionTimer
        interval: 3000
        onTriggered: idTest.measureAllPorts()
    }
    Timer {
        id: idCompleteTimer
        interval: 1000
        onTriggered: idTest.completeTest()
    }

    Column {
        anchors.fill: parent
        spacing: 1
        Repeater {
            id: idRows
            model: idFactoryMain.factoryItemCount
            FactoryTestItem {
                objectName: "factoryRow" + index
                width: idTest.width
                mIndex: index
                mLabel: idTest.rowLabels[index]
                mMode: idTest.rowModes[index]
                mBtnCount: index === idFactoryMain.idxReception ? 4 : (mMode === idFactoryMain.autoMode ? 1 : 2)
                mBtnTexts: index === idFactoryMain.idxResult ? ["종료", "재테스트"]
                         : index === idFactoryMain.idxScan ? ["Start"]
                         : index === idFactoryMain.idxReception ? ["-", "-", "-", "-"]
                         : mMode === idFactoryMain.autoMode ? ["-"] : ["Pass", "Fail"]
                mBtnResults: index === idFactoryMain.idxReception ? [0, 0, 0, 0] : [0]
                mFocused: idTest.focusRow === index
            }
        }
    }
    FactoryCaution {
        objectName: "usbCaution"
        parent: idFactoryMain
        anchors.centerIn: parent
        visible: idTest.cautionShown
        mText: "USB를 제거하세요."
    }

    onVisibleChanged: if (visible) onShown()
    Component.onCompleted: {
        lastResult = FactoryData.nResult
        if (FactoryData.nResult !== idFactoryMain.e_NT)
            restoreRows()
        if (visible) {
            // A screen loaded to be shown takes the keys at once, so that the
            // chain can go past the board checks.
            idFactoryMain.forceActiveFocus()
            onShown()
        }
    }
}
