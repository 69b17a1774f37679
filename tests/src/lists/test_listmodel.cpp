// The list model: ownership of rows, the signals views rely on, searches.
#include "EpgDayTimeItem.h"
#include "ListModel.h"
#include "ListsFixtures.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QSignalSpy>
#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

#include <climits>

namespace {

EpgDayTimeItem* row(const QString& text, int number)
{
    auto rec = std::make_shared<tagDbEpgDayTimeItem>();
    rec->DayTimeText = text;
    rec->DayTimeNumber = number;
    return new EpgDayTimeItem(rec);
}

class ListModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fixtures::app();
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
        model = new ListModel(new EpgDayTimeItem());
        tester = new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        proxy.setSourceModel(model);
        proxy.setSortRole(EpgDayTimeItem::DayTimeNumberRole);
        proxy.sort(0);
        proxy.setDynamicSortFilter(true);
        proxyTester = new QAbstractItemModelTester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override
    {
        delete proxyTester;
        delete tester;
        proxy.setSourceModel(nullptr);
        delete model;
    }
    // Five rows keyed r0..r4 with numbers 0..4; their deletion is watched.
    QList<QPointer<ListItem>> fill(int n = 5)
    {
        QList<QPointer<ListItem>> rows;
        for (int i = 0; i < n; ++i) {
            ListItem* item = row(QString("r%1").arg(i), i);
            rows << item;
            model->appendRow(item);
        }
        return rows;
    }
    QStringList keys() const
    {
        QStringList out;
        for (int i = 0; i < model->rowCount(); ++i)
            out << model->findbyRow(i)->itemKey();
        return out;
    }

    ListModel* model = nullptr;
    QAbstractItemModelTester* tester = nullptr;
    QSortFilterProxyModel proxy;
    QAbstractItemModelTester* proxyTester = nullptr;
};

TEST_F(ListModelTest, RemoveRowsChecksTheWholeRangeAndDeletesRows)
{
    struct Case {
        int row, count;
        bool ok;
        QStringList left;
    } cases[] = {
        {4, 1, true, {"r0", "r1", "r2", "r3"}},
        {0, 5, true, {}},
        {1, 5, false, {"r0", "r1", "r2", "r3", "r4"}},
        {-1, 1, false, {"r0", "r1", "r2", "r3", "r4"}},
        {2, 0, false, {"r0", "r1", "r2", "r3", "r4"}},
        {1, 2, true, {"r0", "r3", "r4"}},
        // Row plus count past INT_MAX (QML can pass any int).
        {1, INT_MAX, false, {"r0", "r1", "r2", "r3", "r4"}},
        {INT_MAX, 1, false, {"r0", "r1", "r2", "r3", "r4"}},
        {4, INT_MAX - 3, false, {"r0", "r1", "r2", "r3", "r4"}},
    };
    for (const Case& c : cases) {
        model->clear();
        auto rows = fill();
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        EXPECT_EQ(model->removeRows(c.row, c.count), c.ok) << c.row << "," << c.count;
        EXPECT_EQ(keys(), c.left) << c.row << "," << c.count;
        EXPECT_EQ(removed.count(), c.ok ? 1 : 0);
        int deleted = 0;
        for (auto& p : rows)
            deleted += p.isNull() ? 1 : 0;
        EXPECT_EQ(deleted, 5 - c.left.size()) << "removed rows must be deleted";
    }
}

TEST_F(ListModelTest, ClearSignalsOnceAndRemoveAllRowsOncePerRow)
{
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    model->clear();
    EXPECT_EQ(removed.count(), 0) << "clearing an empty model emits nothing";

    auto rows = fill(3);
    model->clear();
    EXPECT_EQ(removed.count(), 1);
    for (auto& p : rows)
        EXPECT_TRUE(p.isNull());

    rows = fill(3);
    removed.clear();
    EXPECT_TRUE(model->removeAllRows());
    EXPECT_EQ(removed.count(), 3);
    EXPECT_EQ(model->rowCount(), 0);
    for (auto& p : rows)
        EXPECT_TRUE(p.isNull());
}

TEST_F(ListModelTest, RemoveRowAndTakeRow)
{
    auto rows = fill();
    EXPECT_FALSE(model->removeRow(5));
    EXPECT_FALSE(model->removeRow(-1));
    EXPECT_TRUE(model->removeRow(1));
    EXPECT_TRUE(rows[1].isNull());

    ListItem* taken = model->takeRow(0);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->itemKey(), "r0");
    EXPECT_EQ(keys(), (QStringList{"r2", "r3", "r4"}));
    EXPECT_EQ(model->takeRow(3), nullptr);
    // Taken rows belong to the caller: no longer tied to the model.
    delete taken;
    EXPECT_EQ(model->rowCount(), 3);
}

TEST_F(ListModelTest, InsertRowPlacesTheRow)
{
    fill(2);
    model->insertRow(1, row("mid", 9));
    model->insertRow(3, row("end", 10));
    model->insertRow(7, row("bad", 11));  // out of range: refused (and deleted)
    EXPECT_EQ(keys(), (QStringList{"r0", "mid", "r1", "end"}));
}

TEST_F(ListModelTest, SearchesAreExactOrCaseInsensitiveAndTakeTheUpperRow)
{
    model->appendRow(row("012", 1));
    model->appendRow(row("AB", 2));
    model->appendRow(row("dup", 3));
    model->appendRow(row("dup", 4));

    EXPECT_EQ(model->find(QString("12")), nullptr);
    EXPECT_EQ(model->find(QString("ab")), nullptr);
    ASSERT_NE(model->findCaseInsensitive("ab"), nullptr);
    EXPECT_EQ(model->findCaseInsensitive("ab")->itemKey(), "AB");
    EXPECT_EQ(model->getIndexFromItem(QString("dup")), 2);
    EXPECT_EQ(model->getIndexFromItem(QString("none")), -1);
    EXPECT_EQ(model->find(4u), model->findbyRow(3));
    EXPECT_EQ(model->getIndexFromItem(2u), 1);
    EXPECT_EQ(model->getIndexFromItem(99u), -1);
    EXPECT_EQ(model->find(99u), nullptr);
    EXPECT_EQ(model->indexFromItem(model->findbyRow(1)).row(), 1);
    EpgDayTimeItem stranger;
    EXPECT_FALSE(model->indexFromItem(&stranger).isValid());
    EXPECT_EQ(model->findbyRow(4), nullptr);
    EXPECT_EQ(model->findbyRow(-1), nullptr);

    const QList<ListItem*> matches = model->getIdListFilterRole(EpgDayTimeItem::DayTimeTextRole, QString("dup"));
    ASSERT_EQ(matches.size(), 2);
    EXPECT_EQ(matches[0], model->findbyRow(2));
    EXPECT_EQ(matches[1], model->findbyRow(3));
}

TEST_F(ListModelTest, MoveRowMovesOneRowWithOneMoveSignal)
{
    fill();
    QSignalSpy moved(model, &QAbstractItemModel::rowsMoved);
    QSignalSpy layout(model, &QAbstractItemModel::layoutChanged);
    EXPECT_FALSE(model->setMoveRow(2, 2));
    EXPECT_FALSE(model->setMoveRow(-1, 2));
    EXPECT_FALSE(model->setMoveRow(1, 5));
    EXPECT_EQ(moved.count() + layout.count(), 0);

    EXPECT_TRUE(model->setMoveRow(0, 3));
    EXPECT_EQ(keys(), (QStringList{"r1", "r2", "r3", "r0", "r4"}));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(layout.count(), 1);

    EXPECT_TRUE(model->setMoveRow(4, 0));
    EXPECT_EQ(keys(), (QStringList{"r4", "r1", "r2", "r3", "r0"}));
}

TEST_F(ListModelTest, DataChangesAreAnnouncedForTheRow)
{
    fill(3);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    auto* item = static_cast<EpgDayTimeItem*>(model->findbyRow(1));
    EXPECT_FALSE(model->setDataChange(-1, item));
    EXPECT_FALSE(model->setDataChange(3, item));
    item->DayTimeText = "changed";
    EXPECT_TRUE(model->setDataChange(1, item));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(model->data(model->index(1), EpgDayTimeItem::DayTimeTextRole).toString(), "changed");

    // A row's own dataChanged() reaches the views through the model.
    emit model->findbyRow(2)->dataChanged();
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[1][0].toModelIndex().row(), 2);
}

TEST_F(ListModelTest, DataAnswersOnlyValidIndexesAndKnownRoles)
{
    fill(1);
    EXPECT_FALSE(model->data(QModelIndex(), EpgDayTimeItem::DayTimeTextRole).isValid());
    EXPECT_FALSE(model->data(model->index(0), 999).isValid());
    EXPECT_EQ(model->data(model->index(0), EpgDayTimeItem::DayTimeTextRole).toString(), "r0");
    EXPECT_EQ(model->get(0, EpgDayTimeItem::DayTimeNumberRole).toInt(), 0);
    EXPECT_FALSE(model->get(3, EpgDayTimeItem::DayTimeNumberRole).isValid());
    EXPECT_EQ(model->roleNames().value(EpgDayTimeItem::DayTimeTextRole), "DayTimeText");
}

}  // namespace
