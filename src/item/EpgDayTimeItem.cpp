#include "EpgDayTimeItem.h"

EpgDayTimeItem::EpgDayTimeItem(QObject* parent) : ListItem(parent) {}

EpgDayTimeItem::EpgDayTimeItem(std::shared_ptr<tagDbEpgDayTimeItem> record, QObject* parent)
    : ListItem(parent)
{
    updateData(record);
}

QString EpgDayTimeItem::itemKey()
{
    return DayTimeText;
}

unsigned int EpgDayTimeItem::itemNumber()
{
    return static_cast<unsigned int>(DayTimeNumber);
}

QVariant EpgDayTimeItem::data(int role) const
{
    switch (role) {
    case DayTimeNumberRole: return DayTimeNumber;
    case DayTimeRole: return DayTime;
    case DayTimeEpgIndexRole: return DayTimeEpgIndex;
    case DayTimeTextRole: return DayTimeText;
    default: return QVariant();
    }
}

QHash<int, QByteArray> EpgDayTimeItem::roleNames() const
{
    QHash<int, QByteArray> names;
    names[DayTimeNumberRole] = "DayTimeNumber";
    names[DayTimeRole] = "DayTime";
    names[DayTimeEpgIndexRole] = "DayTimeEpgIndex";
    names[DayTimeTextRole] = "DayTimeText";
    return names;
}

void EpgDayTimeItem::resetData()
{
    static_cast<tagDbEpgDayTimeItem&>(*this) = tagDbEpgDayTimeItem();
}

void EpgDayTimeItem::updateData(std::shared_ptr<tagDbEpgDayTimeItem> r)
{
    if (!r) {
        resetData();
        return;
    }
    static_cast<tagDbEpgDayTimeItem&>(*this) = *r;
}
