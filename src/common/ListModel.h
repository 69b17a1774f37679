#ifndef HOLVIK_LISTMODEL_H
#define HOLVIK_LISTMODEL_H

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

// One row of a ListModel. Every list the QML shows is made of rows of one of
// the row classes derived from this one.
class ListItem : public QObject
{
    Q_OBJECT
public:
    explicit ListItem(QObject* parent = nullptr) : QObject(parent) {}
    ~ListItem() override = default;

    virtual QString itemKey() = 0;
    virtual QVariant data(int role) const = 0;
    virtual QHash<int, QByteArray> roleNames() const = 0;
    virtual unsigned int itemNumber() { return 0; }

signals:
    void dataChanged();
};

// The list model behind every list of the user interface. It owns its rows
// (and the prototype that answers roleNames()); every removal deletes them.
class ListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit ListModel(ListItem* prototype, QObject* parent = nullptr);
    ~ListModel() override;

    Q_INVOKABLE int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    void appendRow(ListItem* item);
    void appendRows(const QList<ListItem*>& items);
    void insertRow(int row, ListItem* item);

    bool removeRow(int row, const QModelIndex& parent = QModelIndex());
    void clear();
    bool removeAllRows(const QModelIndex& parent = QModelIndex());
    ListItem* takeRow(int row);

    ListItem* getRow(int row);
    ListItem* findbyRow(int row) const;
    ListItem* getRowItem(int row);
    Q_INVOKABLE QVariant get(int row, int role);
    ListItem* find(const QString& key) const;
    ListItem* findCaseInsensitive(const QString& key) const;
    ListItem* find(unsigned int number) const;
    int getIndexFromItem(const QString& key) const;
    int getIndexFromItem(unsigned int number) const;
    QModelIndex indexFromItem(const ListItem* item) const;
    QList<ListItem*> getIdListFilterRole(int role, QVariant value);

    bool setDataChange(int row, ListItem* item);
    bool setMoveRow(int fromRow, int toRow);
    bool setOrderChange(int fromIndex, int toIndex);

public slots:
    void handleItemChange();

private:
    bool validRow(int row) const { return row >= 0 && row < m_list.size(); }
    void deleteRow(ListItem* item);
    static void trimHeap();

    ListItem* m_prototype;
    QList<ListItem*> m_list;
};

#endif
