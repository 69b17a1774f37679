// Signal-information and threshold objects, and the text file object.

#include "AppCoreTestUtil.h"
#include "FileIO.h"
#include "SignalInfoItem.h"
#include "TestDevRoot.h"
#include "ThresholdItem.h"

#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QSignalSpy>

#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

using appcore_test::claimSingletons;
using holvik_test::readFile;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;

namespace {

// Every signal an object emits, by name, in order.
struct SignalLog
{
    explicit SignalLog(QObject* o)
    {
        const QMetaObject* mo = o->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod m = mo->method(i);
            if (m.methodType() == QMetaMethod::Signal)
                spies.emplace_back(m.name().toStdString(), std::make_unique<QSignalSpy>(o, m));
        }
    }
    // (signal, first argument as double) of every emission so far, grouped by signal.
    std::vector<std::pair<std::string, double>> all() const
    {
        std::vector<std::pair<std::string, double>> out;
        for (const auto& s : spies) {
            for (const QList<QVariant>& args : *s.second)
                out.emplace_back(s.first, args.at(0).toDouble());
        }
        return out;
    }
    std::vector<std::pair<std::string, std::unique_ptr<QSignalSpy>>> spies;
};

TEST(SignalInfo, SampleFillsTheTwelveFiguresInOrder)
{
    claimSingletons();
    SignalInfoItem* s = SignalInfoItem::getInstance();
    SignalLog log(s);
    const QMetaObject* mo = s->metaObject();
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
        EXPECT_EQ(mo->property(i).read(s).toInt(), 0) << mo->property(i).name();

    tagSignalQuality q{1, -4, 12, 20, -3, 0, 7, 5, 1000, 6, 2000, 557142};
    s->setSignalQualityInfo(&q);
    const int expected[] = {1, -4, 12, 20, 0, 0, 7, 5, 1000, 6, 2000, 557142};
    int k = 0;
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i, ++k)
        EXPECT_EQ(mo->property(i).read(s).toInt(), expected[k]) << mo->property(i).name();

    // A negative port CNR shows as 0 (no change here, so no signal); the total
    // CNR keeps its sign. Only changed figures signal.
    const auto emitted = log.all();
    EXPECT_EQ(emitted.size(), 10u);
    for (const auto& e : emitted)
        EXPECT_TRUE(e.first != "notifyCnr1Changed" && e.first != "notifyCnr2Changed") << e.first;

    s->setSignalQualityInfo(&q);
    EXPECT_EQ(log.all().size(), 10u) << "the same sample again signals nothing";
    s->setSignalQualityInfo(nullptr);
    EXPECT_EQ(s->getCnr0(), 20);
}

TEST(SignalInfo, SettersAreCalledInTheRecordsOrder)
{
    claimSingletons();
    SignalInfoItem* s = SignalInfoItem::getInstance();
    std::vector<std::string> order;
    // Record the emission order through one connection per signal.
    QObject::connect(s, &SignalInfoItem::notifyEnabled2TSChanged, [&] { order.push_back("Enabled2TS"); });
    QObject::connect(s, &SignalInfoItem::notifyCnrTotChanged, [&] { order.push_back("CnrTot"); });
    QObject::connect(s, &SignalInfoItem::notifyCnr3Changed, [&] { order.push_back("Cnr3"); });
    QObject::connect(s, &SignalInfoItem::notifyPerTotBChanged, [&] { order.push_back("PerTotB"); });
    QObject::connect(s, &SignalInfoItem::notifyFreqChanged, [&] { order.push_back("Freq"); });
    tagSignalQuality q{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    s->setSignalQualityInfo(&q);
    EXPECT_EQ(order, (std::vector<std::string>{"Enabled2TS", "CnrTot", "Cnr3", "PerTotB", "Freq"}));
}

TEST(Threshold, ConstructionValuesAndGroupSettersThatAlwaysSignal)
{
    claimSingletons();
    ThresholdItem* t = ThresholdItem::getInstance();
    EXPECT_FLOAT_EQ(t->getCnrLevelAuto1toF(), 0.0f);
    EXPECT_EQ(t->getPeriodAuto1toF(), 2);
    EXPECT_EQ(t->getPerSignOp1Auto1toF(), 1);
    EXPECT_EQ(t->getPerSignOpFAuto1toF(), 1);
    EXPECT_EQ(t->getPerSignOp1AutoFto1(), 0);
    EXPECT_EQ(t->getPerSignAutoFto1(), 0);
    EXPECT_EQ(t->getPeriodOpFAutoFto1(), 2);
    EXPECT_EQ(t->getCountOpFAutoFto1(), 0);
    EXPECT_EQ(t->getExceededCountAuto1toF(), 0);

    std::vector<std::string> order;
    QObject::connect(t, &ThresholdItem::notifyPerSignOp1Auto1toFChanged, [&](int v) { order.push_back("sign" + std::to_string(v)); });
    QObject::connect(t, &ThresholdItem::notifyCountOp1Auto1toFChanged, [&](int v) { order.push_back("count" + std::to_string(v)); });
    QObject::connect(t, &ThresholdItem::notifyPeriodOp1Auto1toFChanged, [&](int v) { order.push_back("period" + std::to_string(v)); });
    t->setThresholdOp1AutoMode1toF(1, 10, 2);
    t->setThresholdOp1AutoMode1toF(1, 10, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"sign1", "count10", "period2", "sign1", "count10", "period2"}));

    QSignalSpy level(t, SIGNAL(notifyCnrLevelAuto1toFChanged(float)));
    t->setThresholdAutoMode1toF(15.5f, 25, 5);
    t->setThresholdAutoMode1toF(15.5f, 25, 5);
    ASSERT_EQ(level.count(), 2);
    EXPECT_FLOAT_EQ(level.at(0).at(0).toFloat(), 15.5f);
    EXPECT_EQ(t->getCountAuto1toF(), 25);
    EXPECT_EQ(t->getPeriodAuto1toF(), 5);

    // Property writes from QML store and signal without comparing too.
    QSignalSpy exceeded(t, SIGNAL(notifyExceededCountAutoFto1Changed(int)));
    t->setProperty("nExceededCountAutoFto1", 0);
    EXPECT_EQ(exceeded.count(), 1);
}

// ---- FileIO ---------------------------------------------------------------------

TEST(FileIO, WriteReadAndTruncate)
{
    TestDevRoot root;
    FileIO io;
    const QString path = QString::fromStdString(root.root() + "/note.txt");
    EXPECT_TRUE(io.write(path, QStringLiteral("a longer first text\nline two\n")));
    EXPECT_TRUE(io.write(path, QStringLiteral("short")));
    EXPECT_EQ(readFile(root.root() + "/note.txt"), "short");
    EXPECT_EQ(io.read(path), "short");
    // CR LF stays as it is in both directions.
    EXPECT_TRUE(io.write(path, QStringLiteral("a\r\nb")));
    EXPECT_EQ(readFile(root.root() + "/note.txt"), "a\r\nb");
    EXPECT_EQ(io.read(path), "a\r\nb");
}

TEST(FileIO, RefusalsAndUnreadableFiles)
{
    TestDevRoot root;
    FileIO io;
    EXPECT_FALSE(io.write(QString(), QStringLiteral("x")));
    EXPECT_EQ(io.read(QString()), "");
    const std::string missingDir = root.root() + "/no/such/dir/f.txt";
    EXPECT_FALSE(io.write(QString::fromStdString(missingDir), QStringLiteral("x")));
    EXPECT_EQ(io.read(QString::fromStdString(root.root() + "/missing.txt")), "");
    writeFile(root.root() + "/empty.txt", "");
    EXPECT_EQ(io.read(QString::fromStdString(root.root() + "/empty.txt")), "");
}

TEST(FileIO, FullDiskIsAFailure)
{
    TestDevRoot root;
    FileIO io;
    const std::string path = root.root() + "/full.txt";
    // A file-size limit makes the disk "full" after 16 bytes for this process.
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = io.write(QString::fromStdString(path), QString(4096, QLatin1Char('x')));
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_LE(readFile(path).size(), 16u);
}

TEST(FileIO, RebootOnlyReachesTheStandIns)
{
    TestDevRoot root;
    FileIO io;
    io.reboot();
    EXPECT_EQ(root.recordedCommands(), (std::vector<std::string>{"sync", "reboot -f"}));
}

}  // namespace
