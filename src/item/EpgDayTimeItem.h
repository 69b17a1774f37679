#ifndef HOLVIK_EPGDAYTIMEITEM_H
#define HOLVIK_EPGDAYTIMEITEM_H

#include "DbRecords.h"
#include "ListModel.h"

// One entry of the guide's day list or of one day's hour list.
class EpgDayTimeItem : public ListItem, public tagDbEpgDayTimeItem
{
    Q_OBJECT
public:
    enum Roles {
        DayTimeNumberRole = 1256,
        DayTimeRole,
        DayTimeEpgIndexRole,
        DayTimeTextRole
    };

    explicit EpgDayTimeItem(QObject* parent = nullptr);
    EpgDayTimeItem(std::shared_ptr<tagDbEpgDayTimeItem> record, QObject* parent = nullptr);

    QString itemKey() override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    unsigned int itemNumber() override;

    void resetData();
    void updateData(std::shared_ptr<tagDbEpgDayTimeItem> record);

    // The fields, one per role, are those of tagDbEpgDayTimeItem.
};

#endif
