import QtQuick 2.6

// "THRESHOLD INFO" panel: the switching conditions of the current automatic
// segment mode and the engine's running counts. Plain automatic mode has no
// PER sign of its own for the one-seg to full-seg direction (a CNR level
// governs it there); its line shows the other direction's sign.
EngPanel {
    id: idInfo
    readonly property int segMode: ISDBtData.nSegMode
    readonly property bool automatic: segMode >= 2 && segMode <= 4

    function condition(sign, period, count) {
        return "PER " + (sign === 0 ? "!=" : "==") + " 0" + " | " + period + " s" + " | " + "more than " + count
    }
    readonly property string upLine: segMode === 3
                                     ? condition(ISDBtThreshold.nPerSignOp1Auto1toF, ISDBtThreshold.nPeriodOp1Auto1toF,
                                                 ISDBtThreshold.nCountOp1Auto1toF)
                                     : segMode === 4
                                       ? condition(ISDBtThreshold.nPerSignOpFAuto1toF, ISDBtThreshold.nPeriodOpFAuto1toF,
                                                   ISDBtThreshold.nCountOpFAuto1toF)
                                       : condition(ISDBtThreshold.nPerSignAutoFto1, ISDBtThreshold.nPeriodAuto1toF,
                                                   ISDBtThreshold.nCountAuto1toF)
    readonly property string downLine: segMode === 3
                                       ? condition(ISDBtThreshold.nPerSignOp1AutoFto1, ISDBtThreshold.nPeriodOp1AutoFto1,
                                                   ISDBtThreshold.nCountOp1AutoFto1)
                                       : segMode === 4
                                         ? condition(ISDBtThreshold.nPerSignOpFAutoFto1, ISDBtThreshold.nPeriodOpFAutoFto1,
                                                     ISDBtThreshold.nCountOpFAutoFto1)
                                         : condition(ISDBtThreshold.nPerSignAutoFto1, ISDBtThreshold.nPeriodAutoFto1,
                                                     ISDBtThreshold.nCountAutoFto1)

    title: "THRESHOLD INFO" + " (" + idEngMain.getStringSettingSegMode(segMode) + ")"

    EngItemGroup {
        objectName: "thresholdInfoRows"
        width: parent.width
        leftRatio: 3
        textColor: idInfo.textColor
        count: idInfo.automatic ? 4 : 0
        names: ["1Seg >> FSeg ", "PER count", "FSeg >> 1Seg", "PER count"]
        values: [idInfo.upLine, ISDBtThreshold.nExceededCountAuto1toF, idInfo.downLine,
                 ISDBtThreshold.nExceededCountAutoFto1]
    }
}
