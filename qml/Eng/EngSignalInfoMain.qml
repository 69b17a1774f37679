import QtQuick 2.6

// "SIGNAL" panel: the latest signal-quality sample; the four antenna-port
// CNRs stand on a band.
EngPanel {
    title: "SIGNAL"
    EngItemGroup {
        objectName: "signalRows"
        width: parent.width
        names: ["Diversity", "CNR Total", "CNR 1Seg", "CNR [1]", "CNR [2]", "CNR [3]", "CNR [4]",
                "PER E[A]", "PER T[A]", "PER E[B]", "PER T[B]", "Freq"]
        highlights: [false, false, false, true, true, true, true]
        values: [idEngMain.getStringEnabled2TS(ISDBtSingalInfo.nEnabled2TS),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnrTot),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnr1Seg),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnr0),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnr1),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnr2),
                 idEngMain.getStringType(ISDBtSingalInfo.nCnr3),
                 idEngMain.getStringType(ISDBtSingalInfo.nPerErrA),
                 idEngMain.getStringType(ISDBtSingalInfo.nPerTotA),
                 idEngMain.getStringType(ISDBtSingalInfo.nPerErrB),
                 idEngMain.getStringType(ISDBtSingalInfo.nPerTotB),
                 idEngMain.getStringType(ISDBtSingalInfo.nFreq)]
    }
}
