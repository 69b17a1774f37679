#include "ChannelItem.h"

ChannelItem::ChannelItem(QObject* parent) : ListItem(parent) {}

ChannelItem::ChannelItem(std::shared_ptr<tagDbChannelItem> record, QObject* parent)
    : ListItem(parent)
{
    if (record)
        updateData(record);
}

QString ChannelItem::itemKey()
{
    return QString::number(_id);
}

unsigned int ChannelItem::itemNumber()
{
    return static_cast<unsigned int>(ServiceID);
}

QVariant ChannelItem::data(int role) const
{
    switch (role) {
    case IdRole: return _id;
    case ChannelNumberRole: return ChannelNumber;
    case AudioPIDRole: return AudioPID;
    case VideoPIDRole: return VideoPID;
    case PMT_PIDRole: return PMT_PID;
    case RemoconIDRole: return RemoconID;
    case ServiceTypeRole: return ServiceType;
    case ServiceIDRole: return ServiceID;
    case RegionIDRole: return RegionID;
    case ThreedigitNumberRole: return ThreedigitNumber;
    case BerAVGRole: return BerAVG;
    case LOGO_IDRole: return LOGO_ID;
    case NetworkIDRole: return NetworkID;
    case ServiceSegTypeRole: return ServiceSegType;
    case SubChannelRole: return SubChannel;
    case DispSubChannelRole: return DispSubChannel;
    case UserRemoconIDRole: return UserRemoconID;
    case AvailableRole: return Available;
    case RemoconSubIDRole: return RemoconSubID;
    case TSNameRole: return TSName;
    case ProgramNameRole: return ProgramName;
    default: return QVariant();
    }
}

QHash<int, QByteArray> ChannelItem::roleNames() const
{
    QHash<int, QByteArray> names;
    names[IdRole] = "_id";
    names[ChannelNumberRole] = "ChannelNumber";
    names[AudioPIDRole] = "AudioPID";
    names[VideoPIDRole] = "VideoPID";
    names[PMT_PIDRole] = "PMT_PID";
    names[RemoconIDRole] = "RemoconID";
    names[ServiceTypeRole] = "ServiceType";
    names[ServiceIDRole] = "ServiceID";
    names[RegionIDRole] = "RegionID";
    names[ThreedigitNumberRole] = "ThreedigitNumber";
    names[BerAVGRole] = "BerAVG";
    names[LOGO_IDRole] = "LOGO_ID";
    names[NetworkIDRole] = "NetworkID";
    names[ServiceSegTypeRole] = "ServiceSegType";
    names[SubChannelRole] = "SubChannel";
    names[DispSubChannelRole] = "DispSubChannel";
    names[UserRemoconIDRole] = "UserRemoconID";
    names[AvailableRole] = "Available";
    names[RemoconSubIDRole] = "RemoconSubIDRole";
    names[TSNameRole] = "TSName";
    names[ProgramNameRole] = "ProgramName";
    return names;
}

void ChannelItem::resetData()
{
    static_cast<tagDbChannelItem&>(*this) = tagDbChannelItem();
    RemoconSubID = 0;
    ProgramName.clear();
}

void ChannelItem::updateData(std::shared_ptr<tagDbChannelItem> r)
{
    if (!r) {
        resetData();
        return;
    }
    // The programme name is not part of the record and stays.
    static_cast<tagDbChannelItem&>(*this) = *r;
    RemoconSubID = remoconSubId(RemoconID, SubChannel, ServiceSegType);
}

bool ChannelItem::checkNeedToUpdate(std::shared_ptr<tagDbChannelItem> r) const
{
    return !r || static_cast<const tagDbChannelItem&>(*this) != *r;
}
