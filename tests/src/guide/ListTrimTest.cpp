// The list model hands deleted rows' memory back once per batch of
// deletions: malloc_trim walks the whole heap, so a trim per row made a large
// guide refill slow. This program counts the trims by standing in for
// malloc_trim (the program's own definition wins over the C library's).

#include "ListModel.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>

namespace {
std::atomic<int> g_trims{0};
}

extern "C" int malloc_trim(size_t)
{
    ++g_trims;
    return 0;
}

namespace {

class Row : public ListItem
{
public:
    explicit Row(unsigned n = 0) : m_n(n) {}
    QString itemKey() override { return QString::number(m_n); }
    QVariant data(int) const override { return m_n; }
    QHash<int, QByteArray> roleNames() const override { return {{Qt::UserRole, "n"}}; }
    unsigned int itemNumber() override { return m_n; }

private:
    unsigned m_n;
};

void fill(ListModel* model, int rows)
{
    QList<ListItem*> items;
    for (int i = 0; i < rows; ++i)
        items.append(new Row(unsigned(i)));
    model->appendRows(items);
}

TEST(ListTrim, EveryBatchOfDeletionsTrimsOnce)
{
    ListModel model(new Row());
    struct Step {
        const char* name;
        bool (*remove)(ListModel*);
    } steps[] = {
        {"clear", [](ListModel* m) { m->clear(); return true; }},
        {"removeRows", [](ListModel* m) { return m->removeRows(2, 50); }},
        {"removeAllRows", [](ListModel* m) { return m->removeAllRows(); }},
        {"removeRow", [](ListModel* m) { return m->removeRow(0); }},
    };
    for (const Step& s : steps) {
        fill(&model, 100);
        g_trims = 0;
        EXPECT_TRUE(s.remove(&model)) << s.name;
        EXPECT_EQ(g_trims.load(), 1) << s.name;
        model.clear();
    }

    // Nothing removed, nothing trimmed.
    g_trims = 0;
    model.clear();
    EXPECT_FALSE(model.removeRows(0, 1));
    EXPECT_EQ(g_trims.load(), 0);
}

}  // namespace
