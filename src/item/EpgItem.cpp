#include "EpgItem.h"

EpgItem::EpgItem(QObject* parent) : ListItem(parent) {}

EpgItem::EpgItem(std::shared_ptr<tagDbEpgItem> record, QObject* parent) : ListItem(parent)
{
    updateData(record);
}

QString EpgItem::itemKey()
{
    return QString::number(_id);
}

unsigned int EpgItem::itemNumber()
{
    return static_cast<unsigned int>(EventID);
}

QVariant EpgItem::data(int role) const
{
    switch (role) {
    case IdRole: return _id;
    case ServiceIDRole: return ServiceID;
    case EventIDRole: return EventID;
    case StartMJDRole: return StartMJD;
    case StartHHRole: return StartHH;
    case StartMMRole: return StartMM;
    case EndMJDRole: return EndMJD;
    case EndHHRole: return EndHH;
    case EndMMRole: return EndMM;
    case StartDateRole: return StartDate;
    case StartTimeRole: return StartTime;
    case EndTimeRole: return EndTime;
    case ProgramNameRole: return ProgramName;
    case EvtTextRole: return EvtText;
    case EvtExtItemRole: return EvtExtItem;
    case EvtExtTextRole: return EvtExtText;
    case TopIndexDateRole: return TopIndexDate ? 1 : 0;
    default: return QVariant();
    }
}

QHash<int, QByteArray> EpgItem::roleNames() const
{
    QHash<int, QByteArray> names;
    names[IdRole] = "_id";
    names[ServiceIDRole] = "ServiceID";
    names[EventIDRole] = "EventID";
    names[StartMJDRole] = "StartMJD";
    names[StartHHRole] = "StartHH";
    names[StartMMRole] = "StartMM";
    names[EndMJDRole] = "EndMJD";
    names[EndHHRole] = "EndHH";
    names[EndMMRole] = "EndMM";
    names[StartDateRole] = "StartDate";
    names[StartTimeRole] = "StartTime";
    names[EndTimeRole] = "EndTime";
    names[ProgramNameRole] = "ProgramName";
    names[EvtTextRole] = "EvtText";
    names[EvtExtItemRole] = "EvtExtItem";
    names[EvtExtTextRole] = "EvtExtText";
    names[TopIndexDateRole] = "TopIndexDate";
    return names;
}

void EpgItem::resetData()
{
    _id = ServiceID = EventID = StartMJD = StartHH = StartMM = EndMJD = EndHH = EndMM = 0;
    StartDate.clear();
    StartTime.clear();
    EndTime.clear();
    ProgramName.clear();
    EvtText.clear();
    EvtExtItem.clear();
    EvtExtText.clear();
    TopIndexDate = false;
}

void EpgItem::updateData(std::shared_ptr<tagDbEpgItem> r)
{
    if (!r) {
        resetData();
        return;
    }
    _id = r->_id;
    ServiceID = r->serviceID;
    EventID = r->eventID;
    StartMJD = r->startMJD;
    StartHH = r->startHH;
    StartMM = r->startMM;
    EndMJD = r->endMJD;
    EndHH = r->endHH;
    EndMM = r->endMM;
    StartDate = r->startDate;
    StartTime = r->startTime;
    EndTime = r->endTime;
    ProgramName = r->programName;
    EvtText = r->evtText;
    EvtExtItem = r->evtExtItem;
    EvtExtText = r->evtExtText;
    TopIndexDate = r->TopIndexDate != 0;
}
