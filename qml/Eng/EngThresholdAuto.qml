import QtQuick 2.6

// Threshold editor of plain automatic segment mode.
EngThresholdEditor {
    prefix: "[A]"
    firstIsCnr: true
    values: [Math.round(ISDBtThreshold.fCnrLevelAuto1toF * 10), ISDBtThreshold.nPeriodAuto1toF,
             ISDBtThreshold.nCountAuto1toF, ISDBtThreshold.nPerSignAutoFto1, ISDBtThreshold.nPeriodAutoFto1,
             ISDBtThreshold.nCountAutoFto1]
    setters: ["setEngAuto1toF", "setEngAutoFto1"]
}
