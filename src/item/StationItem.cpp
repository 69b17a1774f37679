#include "StationItem.h"

StationItem::StationItem(QObject* parent) : ListItem(parent) {}

StationItem::StationItem(std::shared_ptr<tagDbStationlItem> record, QObject* parent)
    : ListItem(parent)
{
    if (record)
        updateData(record);
}

QString StationItem::itemKey()
{
    return makeKey(RemoconID, DispSubChannel);
}

unsigned int StationItem::itemNumber()
{
    return static_cast<unsigned int>(ServiceID);
}

QVariant StationItem::data(int role) const
{
    switch (role) {
    case ChannelNumberRole: return ChannelNumber;
    case RemoconIDRole: return RemoconID;
    case SubChannelRole: return SubChannel;
    case DispSubChannelRole: return DispSubChannel;
    case UserRemoconIDRole: return UserRemoconID;
    case ServiceSegTypeRole: return ServiceSegType;
    case ServiceIDRole: return ServiceID;
    case NetworkIDRole: return NetworkID;
    case OneSegSIDRole: return OneSegSID;
    case FullSegSIDRole: return FullSegSID;
    case RemoconSubIDRole: return RemoconSubID;
    case TSNameRole: return TSName;
    case ProgramNameRole: return ProgramName;
    case ProgramTextRole: return ProgramText;
    case ProgramExtItemRole: return ProgramExtItem;
    case ProgramExtTextRole: return ProgramExtText;
    default: return QVariant();
    }
}

QHash<int, QByteArray> StationItem::roleNames() const
{
    QHash<int, QByteArray> names;
    names[ChannelNumberRole] = "ChannelNumber";
    names[RemoconIDRole] = "RemoconID";
    names[SubChannelRole] = "SubChannel";
    names[DispSubChannelRole] = "DispSubChannel";
    names[UserRemoconIDRole] = "UserRemoconID";
    names[ServiceSegTypeRole] = "ServiceSegType";
    names[ServiceIDRole] = "ServiceID";
    names[NetworkIDRole] = "NetworkID";
    names[OneSegSIDRole] = "OneSegSID";
    names[FullSegSIDRole] = "FullSegSID";
    names[RemoconSubIDRole] = "RemoconSubIDRole";
    names[TSNameRole] = "TSName";
    names[ProgramNameRole] = "ProgramName";
    names[ProgramTextRole] = "ProgramText";
    names[ProgramExtItemRole] = "ProgramExtItem";
    names[ProgramExtTextRole] = "ProgramExtText";
    return names;
}

void StationItem::resetData()
{
    static_cast<tagDbStationlItem&>(*this) = tagDbStationlItem();
    RemoconSubID = 0;
    ProgramName.clear();
    ProgramText.clear();
    ProgramExtItem.clear();
    ProgramExtText.clear();
}

void StationItem::updateData(std::shared_ptr<tagDbStationlItem> r)
{
    if (!r) {
        resetData();
        return;
    }
    // The programme texts are not part of the record and stay.
    static_cast<tagDbStationlItem&>(*this) = *r;
    RemoconSubID = remoconSubId(RemoconID, SubChannel, ServiceSegType);
}
