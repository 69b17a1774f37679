#ifndef HOLVIK_STATIONITEM_H
#define HOLVIK_STATIONITEM_H

#include "DbRecords.h"
#include "ListModel.h"

// One station of the station lists: a remote key and displayed sub-channel.
class StationItem : public ListItem, public tagDbStationlItem
{
    Q_OBJECT
public:
    enum Roles {
        ChannelNumberRole = 456,
        RemoconIDRole,
        SubChannelRole,
        DispSubChannelRole,
        UserRemoconIDRole,
        ServiceSegTypeRole,
        ServiceIDRole,
        NetworkIDRole,
        OneSegSIDRole,      // 464
        FullSegSIDRole,     // 465
        RemoconSubIDRole,   // 466
        TSNameRole,         // 467
        ProgramNameRole,
        ProgramTextRole,
        ProgramExtItemRole,
        ProgramExtTextRole  // 471
    };

    explicit StationItem(QObject* parent = nullptr);
    StationItem(std::shared_ptr<tagDbStationlItem> record, QObject* parent = nullptr);

    QString itemKey() override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    unsigned int itemNumber() override;

    void resetData();
    void updateData(std::shared_ptr<tagDbStationlItem> record);

    static QString makeKey(int remoconID, int dispSubChannel)
    {
        return QString::number(remoconID) + "_" + QString::number(dispSubChannel);
    }

    // The record's fields (one per role) come from tagDbStationlItem.
    int32_t RemoconSubID = 0;
    QString ProgramName;
    QString ProgramText;
    QString ProgramExtItem;
    QString ProgramExtText;
};

#endif
