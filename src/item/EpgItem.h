#ifndef HOLVIK_EPGITEM_H
#define HOLVIK_EPGITEM_H

#include "DbRecords.h"
#include "ListModel.h"

// One event of the programme guide list.
class EpgItem : public ListItem
{
    Q_OBJECT
public:
    enum Roles {
        IdRole = 356,
        ServiceIDRole,
        EventIDRole,
        StartMJDRole,
        StartHHRole,
        StartMMRole,
        EndMJDRole,
        EndHHRole,
        EndMMRole,          // 364
        StartDateRole,      // 365
        StartTimeRole,
        EndTimeRole,
        ProgramNameRole,
        EvtTextRole,
        EvtExtItemRole,
        EvtExtTextRole,     // 371
        TopIndexDateRole    // 372
    };

    explicit EpgItem(QObject* parent = nullptr);
    EpgItem(std::shared_ptr<tagDbEpgItem> record, QObject* parent = nullptr);

    QString itemKey() override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    unsigned int itemNumber() override;

    void resetData();
    void updateData(std::shared_ptr<tagDbEpgItem> record);

    int32_t _id = 0;
    int32_t ServiceID = 0;
    int32_t EventID = 0;
    int32_t StartMJD = 0;
    int32_t StartHH = 0;
    int32_t StartMM = 0;
    int32_t EndMJD = 0;
    int32_t EndHH = 0;
    int32_t EndMM = 0;
    QString StartDate;
    QString StartTime;
    QString EndTime;
    QString ProgramName;
    QString EvtText;
    QString EvtExtItem;
    QString EvtExtText;
    bool TopIndexDate = false;
};

#endif
