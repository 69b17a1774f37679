#include "ListModel.h"

#include "KelpAppLog.h"

#include <malloc.h>

ListModel::ListModel(ListItem* prototype, QObject* parent)
    : QAbstractListModel(parent), m_prototype(prototype)
{
}

ListModel::~ListModel()
{
    delete m_prototype;
    m_prototype = nullptr;
    clear();
}

int ListModel::rowCount(const QModelIndex& parent) const
{
    // A flat list: rows have no children of their own, or tree-walking views
    // and proxies would see every row repeated below each row.
    if (parent.isValid())
        return 0;
    return m_list.size();
}

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !validRow(index.row()))
        return QVariant();
    return m_list.at(index.row())->data(role);
}

QHash<int, QByteArray> ListModel::roleNames() const
{
    // The prototype is gone only while the model is being destroyed.
    return m_prototype ? m_prototype->roleNames() : QHash<int, QByteArray>();
}

void ListModel::deleteRow(ListItem* item)
{
    delete item;
}

// Hands the memory of deleted rows back to the system. malloc_trim walks the
// whole heap, so it runs once when a batch of deletions ends, not per row.
void ListModel::trimHeap()
{
    malloc_trim(0);
}

bool ListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    Q_UNUSED(parent);
    LOG_I("[%s]  row(%d) count(%d) m_list.size(%d)", __func__, row, count, m_list.size());
    // A count below 1 removes nothing (and must not open an empty removal).
    // The range is checked without adding row and count: QML may pass any
    // int, and the sum could overflow.
    if (row < 0 || count < 1 || row > rowCount() || count > rowCount() - row)
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int i = 0; i < count; ++i)
        deleteRow(m_list.takeAt(row));
    endRemoveRows();
    trimHeap();
    return true;
}

void ListModel::appendRow(ListItem* item)
{
    appendRows(QList<ListItem*>() << item);
}

void ListModel::appendRows(const QList<ListItem*>& items)
{
    if (items.isEmpty())
        return;
    beginInsertRows(QModelIndex(), rowCount(), rowCount() + items.size() - 1);
    for (ListItem* item : items) {
        connect(item, SIGNAL(dataChanged()), this, SLOT(handleItemChange()));
        m_list.append(item);
    }
    endInsertRows();
}

void ListModel::insertRow(int row, ListItem* item)
{
    LOG_I("[%s]  row(%d) m_list.size(%d)", __func__, row, m_list.size());
    if (!item)
        return;
    if (row < 0 || row > m_list.size()) {
        // The model owns what it is handed, also a row it cannot place.
        delete item;
        return;
    }
    beginInsertRows(QModelIndex(), row, row);
    connect(item, SIGNAL(dataChanged()), this, SLOT(handleItemChange()));
    m_list.insert(row, item);
    endInsertRows();
}

bool ListModel::removeRow(int row, const QModelIndex& parent)
{
    Q_UNUSED(parent);
    LOG_I("[%s]  row(%d) m_list.size(%d)", __func__, row, m_list.size());
    if (!validRow(row))
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    deleteRow(m_list.takeAt(row));
    endRemoveRows();
    trimHeap();
    return true;
}

void ListModel::clear()
{
    if (m_list.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, m_list.size() - 1);
    while (!m_list.isEmpty())
        deleteRow(m_list.takeFirst());
    endRemoveRows();
    trimHeap();
}

bool ListModel::removeAllRows(const QModelIndex& parent)
{
    Q_UNUSED(parent);
    while (rowCount() >= 1) {
        beginRemoveRows(QModelIndex(), 0, 0);
        deleteRow(m_list.takeFirst());
        endRemoveRows();
    }
    trimHeap();
    return true;
}

ListItem* ListModel::takeRow(int row)
{
    LOG_I("[%s]  row(%d) m_list.size(%d)", __func__, row, m_list.size());
    if (!validRow(row))
        return nullptr;
    beginRemoveRows(QModelIndex(), row, row);
    ListItem* item = m_list.takeAt(row);
    endRemoveRows();
    disconnect(item, SIGNAL(dataChanged()), this, SLOT(handleItemChange()));
    return item;
}

ListItem* ListModel::getRow(int row)
{
    return findbyRow(row);
}

ListItem* ListModel::findbyRow(int row) const
{
    return validRow(row) ? m_list.at(row) : nullptr;
}

ListItem* ListModel::getRowItem(int row)
{
    LOG_I("[%s]  row(%d) m_list.size(%d)", __func__, row, m_list.size());
    return findbyRow(row);
}

QVariant ListModel::get(int row, int role)
{
    ListItem* item = findbyRow(row);
    return item ? item->data(role) : QVariant();
}

ListItem* ListModel::find(const QString& key) const
{
    for (ListItem* item : m_list) {
        if (item->itemKey() == key)
            return item;
    }
    return nullptr;
}

ListItem* ListModel::findCaseInsensitive(const QString& key) const
{
    for (ListItem* item : m_list) {
        if (QString::compare(item->itemKey(), key, Qt::CaseInsensitive) == 0)
            return item;
    }
    return nullptr;
}

ListItem* ListModel::find(unsigned int number) const
{
    for (ListItem* item : m_list) {
        if (item->itemNumber() == number)
            return item;
    }
    return nullptr;
}

int ListModel::getIndexFromItem(const QString& key) const
{
    for (int row = 0; row < m_list.size(); ++row) {
        if (m_list.at(row)->itemKey() == key)
            return row;
    }
    return -1;
}

int ListModel::getIndexFromItem(unsigned int number) const
{
    for (int row = 0; row < m_list.size(); ++row) {
        if (m_list.at(row)->itemNumber() == number)
            return row;
    }
    return -1;
}

QModelIndex ListModel::indexFromItem(const ListItem* item) const
{
    if (item) {
        for (int row = 0; row < m_list.size(); ++row) {
            if (m_list.at(row) == item)
                return index(row, 0);
        }
    }
    return QModelIndex();
}

QList<ListItem*> ListModel::getIdListFilterRole(int role, QVariant value)
{
    QList<ListItem*> matches;
    for (ListItem* item : m_list) {
        const QVariant v = item->data(role);
        if (!v.isNull() && v == value) {
            LOG_I("[%s]  id(%s) key(%d)", __func__, qPrintable(item->itemKey()), item->itemNumber());
            matches.append(item);
        }
    }
    LOG_I("[%s] list.size(%d)", __func__, matches.size());
    return matches;
}

bool ListModel::setDataChange(int row, ListItem* item)
{
    if (!validRow(row) || !item)
        return false;
    m_list[row] = item;
    emit dataChanged(index(row), index(row), QVector<int>());
    return true;
}

void ListModel::handleItemChange()
{
    LOG_I("[%s] m_list.size(%d)", __func__, m_list.size());
    ListItem* item = qobject_cast<ListItem*>(sender());
    if (!item)
        return;
    const QModelIndex idx = indexFromItem(item);
    if (idx.isValid())
        emit dataChanged(idx, idx, QVector<int>());
}

bool ListModel::setMoveRow(int fromRow, int toRow)
{
    LOG_I("[%s]  fromRow(%d) toRow(%d) m_list.size(%d)", __func__, fromRow, toRow, m_list.size());
    if (fromRow < 0 || fromRow >= rowCount()) {
        LOG_I("[%s]  return fromRow(%d)", __func__, fromRow);
        return false;
    }
    if (toRow < 0 || toRow >= rowCount()) {
        LOG_I("[%s]  return toRow(%d)", __func__, toRow);
        return false;
    }
    if (fromRow == toRow)
        return false;
    const int destination = fromRow < toRow ? toRow + 1 : toRow;
    if (!beginMoveRows(QModelIndex(), fromRow, fromRow, QModelIndex(), destination))
        return false;
    emit layoutAboutToBeChanged();
    m_list.move(fromRow, toRow);
    endMoveRows();
    emit layoutChanged();
    return true;
}

bool ListModel::setOrderChange(int fromIndex, int toIndex)
{
    LOG_I("[%s]  fromIndex(%d) toIndex(%d)", __func__, fromIndex, toIndex);
    return setMoveRow(fromIndex, toIndex);
}
