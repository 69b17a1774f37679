import QtQuick 2.6
import "../Base"

// Yes/no popup of the system. Only the emergency-switch question acts on
// yes: the engine switches to the emergency service.
BasePopup {
    id: idSystemPopup
    property string popupID: ""
    property int ewsServiceID: -1
    signal hideRequested()

    mText: popupID
    mTouchEnable: true

    onPopupBtn01Selected: {
        var ews = popupID === stringInfo.strMsg_SWITCH_EWS_QUESTION_MSG
        hideRequested()
        if (ews)
            ISDBtEngine.startEWS(ewsServiceID)
    }
    onPopupBtn02Selected: hideRequested()
    onBackKeyPressed: hideRequested()
}
