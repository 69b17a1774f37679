#ifndef HOLVIK_CHANNELITEM_H
#define HOLVIK_CHANNELITEM_H

#include "DbRecords.h"
#include "ListModel.h"

// One service of the channel lists: the record it was made from, its sort
// key and the programme now on air.
class ChannelItem : public ListItem, public tagDbChannelItem
{
    Q_OBJECT
public:
    enum Roles {
        IdRole = 257,
        ChannelNumberRole,
        AudioPIDRole,
        VideoPIDRole,
        PMT_PIDRole,
        RemoconIDRole,
        ServiceTypeRole,
        ServiceIDRole,
        RegionIDRole,
        ThreedigitNumberRole,
        BerAVGRole,
        LOGO_IDRole,
        NetworkIDRole,
        ServiceSegTypeRole,
        SubChannelRole,
        DispSubChannelRole,
        UserRemoconIDRole,
        AvailableRole,       // 274
        RemoconSubIDRole,    // 275
        TSNameRole,          // 276
        ProgramNameRole      // 277
    };

    explicit ChannelItem(QObject* parent = nullptr);
    ChannelItem(std::shared_ptr<tagDbChannelItem> record, QObject* parent = nullptr);

    QString itemKey() override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    unsigned int itemNumber() override;

    void resetData();
    void updateData(std::shared_ptr<tagDbChannelItem> record);
    bool checkNeedToUpdate(std::shared_ptr<tagDbChannelItem> record) const;

    // The record's fields (one per role) come from tagDbChannelItem.
    int32_t RemoconSubID = 0;
    QString ProgramName;
};

#endif
