// Engine emergency warning switch: the service that carries a warning is
// brought on screen in the segment it is broadcast in, with a notice.

#include "ChannelItem.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"

#include <QCoreApplication>

void ISDBtAppEngine::onNotifyEmergencyInfo(int channelIndex, int ewsServiceID)
{
    LOG_I("[%s] channelIndex(%d) serviceID(%d)", __func__, channelIndex, ewsServiceID);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    // A warning is never left to a question the viewer may decline or miss:
    // whatever the screen, the warning service is brought up at once.
    startEWS(ewsServiceID);
}

void ISDBtAppEngine::startEWS(int ewsServiceID)
{
    ISDBtDataManager* d = m_pDataManager;
    LOG_I("[%s] ewsServiceID(%d)", __func__, ewsServiceID);
    // No service can carry such an id, but the warning itself still stands:
    // the current service gets the warning's segment handling and the notice.
    if (ewsServiceID < 1)
        LOG_I("[%s] ewsServiceID(%d) is invalid", __func__, ewsServiceID);
    LOG_I("[%s] current : R(%d_%d) C(%d) S(%d) Seg(%s)", __func__, d->getCurrRemoconID(), d->getCurrDispSubChannel(),
          d->getCurrChannelNumber(), d->getCurrServiceID(), d->getCurrSegType() == 1 ? "1Seg" : "FSeg");

    int target = d->getCurrSegType();
    bool switchSeg = true;
    if (d->getCurrServiceID() == ewsServiceID) {
        LOG_I("[%s] Case 1. currServiceID == ewsServiceID", __func__);
    } else {
        LOG_I("[%s] Case 2. currServiceID != ewsServiceID", __func__);
        ChannelItem* ch = m_pOzbDBManager->getChannelItem(d->getMode(), ewsServiceID, true);
        if (ch != nullptr) {
            LOG_I("[%s] Case 2-1. ewsServiceID is existed in the channel list", __func__);
            const int r = ch->RemoconID;
            const int s = ch->DispSubChannel;
            target = ch->ServiceSegType;
            if (r == d->getCurrRemoconID() && s == d->getCurrDispSubChannel()) {
                LOG_I("[%s] Case 2-1-1. remoconID(%d == %d) & subChannel(%d == %d) is same. setDualChannel",
                      __func__, r, d->getCurrRemoconID(), s, d->getCurrDispSubChannel());
            } else {
                LOG_I("[%s] Case 2-1-1. remoconID(%d != %d) or subChannel(%d != %d) is different. setChannel",
                      __func__, r, d->getCurrRemoconID(), s, d->getCurrDispSubChannel());
                if (selectChannelByRemoconID(r, s, target) != 0) {
                    LOG_I("[%s] selectChannelByRemoconID fail !!!", __func__);
                    switchSeg = false;
                }
            }
        } else {
            LOG_I("[%s] not found ewsChItem !!!", __func__);
            LOG_I("[%s] Case 2-2. ewsServiceID is not existed in the channel list", __func__);
        }
    }
    if (switchSeg) {
        if (target == 1)
            changeToFixedOneSeg();
        else
            changeToFixedFullSeg();
    }
    emit sendEwsNotifyMessage(QCoreApplication::translate("StringInfo", "STR_SWITCH_EWS_MSG"));
}
