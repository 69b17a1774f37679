#ifndef HOLVIK_CHANNELITEM_H
#define HOLVIK_CHANNELITEM_H

#include "DbRecords.h"
#include "ListModel.h"

// One service of the channel lists.
class ChannelItem : public ListItem
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

    int32_t _id = 0;
    int32_t ChannelNumber = 0;
    int32_t AudioPID = 0;
    int32_t VideoPID = 0;
    int32_t PMT_PID = 0;
    int32_t RemoconID = 0;
    int32_t ServiceType = 0;
    int32_t ServiceID = 0;
    int32_t RegionID = 0;
    int32_t ThreedigitNumber = 0;
    int32_t BerAVG = 0;
    int32_t LOGO_ID = 0;
    int32_t NetworkID = 0;
    int32_t ServiceSegType = 0;
    int32_t SubChannel = 0;
    int32_t DispSubChannel = 0;
    int32_t UserRemoconID = 0;
    int32_t Available = 0;
    int32_t RemoconSubID = 0;
    QString TSName;
    QString ProgramName;

private:
    // 64-bit arithmetic: the key numbers come from the database as they are.
    void computeRemoconSubID()
    {
        RemoconSubID =
            static_cast<int32_t>(qint64(ServiceSegType) + 10 * qint64(SubChannel) + 100 * qint64(RemoconID));
    }
};

#endif
