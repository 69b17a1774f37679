import QtQuick 2.6

// Threshold editor of automatic segment mode with one-seg priority.
EngThresholdEditor {
    prefix: "[A1]"
    values: [ISDBtThreshold.nPerSignOp1Auto1toF, ISDBtThreshold.nPeriodOp1Auto1toF, ISDBtThreshold.nCountOp1Auto1toF,
             ISDBtThreshold.nPerSignOp1AutoFto1, ISDBtThreshold.nPeriodOp1AutoFto1, ISDBtThreshold.nCountOp1AutoFto1]
    setters: ["setEngOp1Auto1toF", "setEngOp1AutoFto1"]
}
