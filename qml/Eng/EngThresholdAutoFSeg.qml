import QtQuick 2.6

// Threshold editor of automatic segment mode with full-seg priority.
EngThresholdEditor {
    prefix: "[AF]"
    values: [ISDBtThreshold.nPerSignOpFAuto1toF, ISDBtThreshold.nPeriodOpFAuto1toF, ISDBtThreshold.nCountOpFAuto1toF,
             ISDBtThreshold.nPerSignOpFAutoFto1, ISDBtThreshold.nPeriodOpFAutoFto1, ISDBtThreshold.nCountOpFAutoFto1]
    setters: ["setEngOpFAuto1toF", "setEngOpFAutoFto1"]
}
