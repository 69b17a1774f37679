import QtQuick 2.6
import "../Base"

// Factory test screen: the constants of the test, the title and the test
// rows. The root window loads it when the engine enters factory mode and
// unloads it when the test completes; the test's progress lives in the
// factory record, so a screen opened again resumes where the test stopped.
FocusScope {
    id: idFactoryMain
    objectName: "factoryMain"
    width: systemInfo.lcdWidth
    height: systemInfo.lcdHeight

    // Results and status as the record keeps them.
    readonly property int e_NT: 0
    readonly property int e_NOK: 1
    readonly property int e_OK: 2
    readonly property int e_None: 0
    readonly property int e_STARTED: 1
    readonly property int e_COMPLETE: 2

    // How a row takes its result.
    readonly property int manualMode: 0
    readonly property int autoMode: 1
    readonly property int halfAutoMode: 2

    // The CNR a port must reach to pass the reception test.
    readonly property int fullSegCnr: 18

    readonly property string key_FACTORY_STATUS: "status"
    readonly property string key_FACTORY_FWVERSION: "fwVersion"
    readonly property string key_FACTORY_CHRONTELVERSION: "chrontelVersion"
    readonly property string key_FACTORY_PRODUCTCURRENT: "productCurrent"
    readonly property string key_FACTORY_ANTCURRENT: "antCurrent"
    readonly property string key_FACTORY_ANTSHORT: "antShort"
    readonly property string key_FACTORY_HDMIOUTPUT: "hdmiOutput"
    readonly property string key_FACTORY_CVBSOUTPUT: "cvbsOutput"
    readonly property string key_FACTORY_CVBSLEFTOUTPUT: "cvbsLeftOutput"
    readonly property string key_FACTORY_CVBSRIGHTOUTPUT: "cvbsRightOutput"
    readonly property string key_FACTORY_HDMISELECTOR: "hdmiSeletor"
    readonly property string key_FACTORY_SCAN: "scan"
    readonly property string key_FACTORY_HIGHFREQUENCY_P1: "highFreq01"
    readonly property string key_FACTORY_HIGHFREQUENCY_P2: "highFreq02"
    readonly property string key_FACTORY_HIGHFREQUENCY_P3: "highFreq03"
    readonly property string key_FACTORY_HIGHFREQUENCY_P4: "highFreq04"
    readonly property string key_FACTORY_LOWFREQUENCY_P1: "lowFreq01"
    readonly property string key_FACTORY_LOWFREQUENCY_P2: "lowFreq02"
    readonly property string key_FACTORY_LOWFREQUENCY_P3: "lowFreq03"
    readonly property string key_FACTORY_LOWFREQUENCY_P4: "lowFreq04"
    readonly property string key_FACTORY_USBPORT: "usbPort"
    readonly property string key_FACTORY_DATOUCH: "daTouch"

    // Row indexes, top to bottom.
    readonly property int idxFwVersion: 0
    readonly property int idxChrontelVersion: 1
    readonly property int idxProductCurrent: 2
    readonly property int idxAntCurrent: 3
    readonly property int idxAntShort: 4
    readonly property int idxScan: 5
    readonly property int idxReception: 6
    readonly property int idxHdmiOutput: 7
    readonly property int idxCvbsOutput: 8
    readonly property int idxCvbsLeftOutput: 9
    readonly property int idxCvbsRightOutput: 10
    readonly property int idxResult: 11
    readonly property int factoryItemCount: 12

    readonly property int rowHeight: Math.floor((systemInfo.lcdHeight - systemInfo.mainHMargin - 12 - 10) / 13)

    Rectangle {
        anchors.fill: parent
        color: colorInfo.black
        opacity: ISDBtData.bInitialized ? 0.7 : 1.0
    }
    Item {
        x: systemInfo.mainHMargin
        y: systemInfo.mainVMargin
        width: systemInfo.mainWidth
        height: systemInfo.mainHeight

        BaseText {
            id: idTitle
            objectName: "factoryTitle"
            width: parent.width
            height: idFactoryMain.rowHeight
            mText: "FACTORY TEST"
            mTextSize: systemInfo.factoryLargeFontSize
            mTextColor: colorInfo.grey
            mTextBold: true
        }
        FactoryTest {
            id: idFactoryTest
            objectName: "factoryTest"
            anchors.top: idTitle.bottom
            anchors.topMargin: 10
            width: parent.width
            height: parent.height - y
            focus: true
        }
    }
}
