// Factory test record: loading, verdict rules, write-through, dispatch by
// key, the retest reset and the search for the next untested item. Each case
// runs in a process of its own because the record loads factory.ini once.

#include "AppCoreTestUtil.h"
#include "ISDBtFactoryDataManager.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <functional>
#include <string>
#include <vector>

using appcore_test::claimSingletons;
using appcore_test::countOf;
using appcore_test::iniValue;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;

namespace {

const char kFactory[] = "/home/root/isdbt/factory.ini";

struct Fixture
{
    explicit Fixture(const std::string& ini = std::string())
    {
        claimSingletons();
        if (!ini.empty())
            writeFile(root.path(kFactory), "[General]\n" + ini);
        d = ISDBtFactoryDataManager::getInstance();
        root.clearRecordedCommands();
    }
    std::string fileValue(const std::string& key) const
    {
        return iniValue(root.path(kFactory), key).value_or("<absent>");
    }
    int syncs() const { return countOf(root.recordedCommands(), "sync"); }
    TestDevRoot root;
    ISDBtFactoryDataManager* d = nullptr;
};

void setPcb(ISDBtFactoryDataManager* d, int v)
{
    d->setResFwVersion(v);
    d->setResChrontelVersion(v);
    d->setResProductCurrent(v);
    d->setResAntCurrent(v);
    d->setResAntShort(v);
}

void setAssyBut(ISDBtFactoryDataManager* d, int v, void (ISDBtFactoryDataManager::*skip)(int))
{
    using S = void (ISDBtFactoryDataManager::*)(int);
    const S assy[] = {&ISDBtFactoryDataManager::setResHdmiOutput,   &ISDBtFactoryDataManager::setResScan,
                      &ISDBtFactoryDataManager::setResCvbsOutput,   &ISDBtFactoryDataManager::setResCvbsLeftOutput,
                      &ISDBtFactoryDataManager::setResCvbsRightOutput, &ISDBtFactoryDataManager::setResHighFreqP1,
                      &ISDBtFactoryDataManager::setResHighFreqP2,   &ISDBtFactoryDataManager::setResHighFreqP3,
                      &ISDBtFactoryDataManager::setResHighFreqP4};
    for (S s : assy) {
        if (s != skip)
            (d->*s)(v);
    }
}

TEST(FactoryRecord, FreshBoardIsUntestedFromTheFirstItem)
{
    Fixture f;
    EXPECT_EQ(f.d->getResult(), 0);
    EXPECT_EQ(f.d->getStatus(), 0);
    EXPECT_EQ(f.d->findItemNotTested(), "fwVersion");
}

TEST(FactoryRecord, LoadsEveryKeyIncludingTheMisspelledSelector)
{
    Fixture f("finalResult=2\nstatus=1\nresult=1\nchrontelVersion=2\nhdmiSeletor=1\nlowFreq03=2\n"
              "highFreq02Cnr=27\ndaTouch=1\n");
    EXPECT_EQ(f.d->getFinalResult(), 2);
    EXPECT_EQ(f.d->getStatus(), 1);
    EXPECT_EQ(f.d->getResult(), 1);
    EXPECT_EQ(f.d->getResChrontelVersion(), 2);
    EXPECT_EQ(f.d->getResHdmiSelector(), 1);
    EXPECT_EQ(f.d->getResLowFreqP3(), 2);
    EXPECT_EQ(f.d->getResHighFreqP2Cnr(), 27);
    EXPECT_EQ(f.d->getResDATouch(), 1);
    EXPECT_EQ(f.syncs(), 0) << "loading writes nothing";
}

TEST(FactoryRecord, GroupVerdictsFollowTheirMembers)
{
    Fixture f;
    setPcb(f.d, 2);
    setAssyBut(f.d, 2, &ISDBtFactoryDataManager::setResCvbsLeftOutput);
    EXPECT_EQ(f.d->getPcbResult(), 2);
    EXPECT_EQ(f.d->getAssyResult(), 0);
    EXPECT_EQ(f.d->getResult(), 0);
    EXPECT_EQ(f.d->findItemNotTested(), "cvbsLeftOutput");

    f.d->setResCvbsLeftOutput(1);
    EXPECT_EQ(f.d->getAssyResult(), 1);
    EXPECT_EQ(f.d->getResult(), 1);
    EXPECT_EQ(f.d->getPcbResult(), 2);

    f.d->setResCvbsLeftOutput(2);
    EXPECT_EQ(f.d->getAssyResult(), 2);
    EXPECT_EQ(f.d->getResult(), 2);
    EXPECT_EQ(f.d->findItemNotTested(), "");
    EXPECT_EQ(f.fileValue("result"), "2");
    EXPECT_EQ(f.fileValue("assyResult"), "2");
    EXPECT_EQ(f.fileValue("pcbResult"), "2");
}

TEST(FactoryRecord, OneFailedPcbItemFailsTheBoardWhileOthersAreUntested)
{
    Fixture f;
    f.d->setResAntShort(1);
    EXPECT_EQ(f.d->getPcbResult(), 1);
    EXPECT_EQ(f.d->getResult(), 1);
    EXPECT_EQ(f.d->getAssyResult(), 0);
}

TEST(FactoryRecord, ItemsOutsideTheVerdictsNeverChangeThem)
{
    Fixture f;
    setPcb(f.d, 2);
    setAssyBut(f.d, 2, nullptr);
    ASSERT_EQ(f.d->getResult(), 2);
    f.d->setResLowFreqP1(1);
    f.d->setResLowFreqP4(1);
    f.d->setResUsbPort(1);
    f.d->setResDATouch(1);
    f.d->setResHdmiSelector(1);
    EXPECT_EQ(f.d->getResult(), 2);
    EXPECT_EQ(f.d->getPcbResult(), 2);
    EXPECT_EQ(f.d->getAssyResult(), 2);

    // Measured figures are written but neither flushed nor checked.
    f.root.clearRecordedCommands();
    QSignalSpy result(f.d, SIGNAL(notifyResultChanged(int)));
    f.d->setResHighFreqP1Cnr(31);
    f.d->setResLowFreqP2Cnr(12);
    EXPECT_EQ(f.syncs(), 0);
    EXPECT_EQ(result.count(), 0);
    EXPECT_EQ(f.d->getResHighFreqP1Cnr(), 31);
}

TEST(FactoryRecord, EveryItemWriteSavesRechecksAndSignalsEvenWhenUnchanged)
{
    Fixture f;
    f.d->setResScan(2);
    f.root.clearRecordedCommands();

    std::vector<std::string> order;
    QObject::connect(f.d, &ISDBtFactoryDataManager::notifyResScanChanged, [&] { order.push_back("scan"); });
    QObject::connect(f.d, &ISDBtFactoryDataManager::notifyResultChanged, [&] { order.push_back("result"); });
    QObject::connect(f.d, &ISDBtFactoryDataManager::notifyPcbResultChanged, [&] { order.push_back("pcb"); });
    QObject::connect(f.d, &ISDBtFactoryDataManager::notifyAssyResultChanged, [&] { order.push_back("assy"); });

    f.d->setResScan(2);
    // The verdicts are derived (and announced) before the item's own signal.
    EXPECT_EQ(order, (std::vector<std::string>{"result", "pcb", "assy", "scan"}));
    EXPECT_EQ(f.syncs(), 3) << "one flush per verdict";
    EXPECT_EQ(f.fileValue("scan"), "2");
}

TEST(FactoryRecord, StatusIsSavedWithoutRecheck)
{
    Fixture f;
    QSignalSpy status(f.d, SIGNAL(notifyStatusChanged(int)));
    QSignalSpy result(f.d, SIGNAL(notifyResultChanged(int)));
    f.d->setStatus(1);
    EXPECT_EQ(status.count(), 1);
    EXPECT_EQ(result.count(), 0);
    EXPECT_EQ(f.syncs(), 1);
    EXPECT_EQ(f.fileValue("status"), "1");
}

TEST(FactoryRecord, SetPropertyDispatchesOnlyTheTestItemsByExactKey)
{
    Fixture f;
    const std::pair<const char*, std::function<int()>> dispatched[] = {
        {"status", [&] { return f.d->getStatus(); }},
        {"fwVersion", [&] { return f.d->getResFwVersion(); }},
        {"chrontelVersion", [&] { return f.d->getResChrontelVersion(); }},
        {"hdmiSeletor", [&] { return f.d->getResHdmiSelector(); }},
        {"cvbsRightOutput", [&] { return f.d->getResCvbsRightOutput(); }},
        {"highFreq04", [&] { return f.d->getResHighFreqP4(); }},
        {"lowFreq02", [&] { return f.d->getResLowFreqP2(); }},
        {"usbPort", [&] { return f.d->getResUsbPort(); }},
        {"daTouch", [&] { return f.d->getResDATouch(); }},
    };
    for (const auto& e : dispatched) {
        f.d->setProperty(QString::fromLatin1(e.first), 2);
        EXPECT_EQ(e.second(), 2) << e.first;
    }

    const std::pair<const char*, std::function<int()>> refused[] = {
        {"result", [&] { return f.d->getResult(); }},
        {"finalResult", [&] { return f.d->getFinalResult(); }},
        {"pcbResult", [&] { return f.d->getPcbResult(); }},
        {"highFreq01Cnr", [&] { return f.d->getResHighFreqP1Cnr(); }},
        {"Scan", [&] { return f.d->getResScan(); }},
        {"hdmiSelector", [&] { return f.d->getResHdmiSelector(); }},
    };
    for (const auto& e : refused) {
        const int before = e.second();
        f.d->setProperty(QString::fromLatin1(e.first), 1);
        EXPECT_EQ(e.second(), before) << e.first;
    }
    EXPECT_EQ(f.d->getResScan(), 0);
}

TEST(FactoryRecord, RetestResetClearsEveryRetestedItemWithOneFlush)
{
    Fixture f("status=2\nfinalResult=2\nhighFreq01Cnr=30\nlowFreq04Cnr=12\n");
    setPcb(f.d, 2);
    setAssyBut(f.d, 2, nullptr);
    f.d->setResUsbPort(1);
    ASSERT_EQ(f.d->getResult(), 2);
    f.root.clearRecordedCommands();
    QSignalSpy chrontel(f.d, SIGNAL(notifyResChrontelVersionChanged(int)));

    f.d->resetAllProperty();

    EXPECT_EQ(f.d->getResFwVersion(), 0);
    // The video output chip's version result is not part of the retest: it
    // keeps its value, in memory and in the file, and is not announced.
    EXPECT_EQ(f.d->getResChrontelVersion(), 2);
    EXPECT_EQ(chrontel.count(), 0);
    EXPECT_EQ(f.d->getResHighFreqP4(), 0);
    EXPECT_EQ(f.d->getResUsbPort(), 0);
    EXPECT_EQ(f.d->getResult(), 0);
    EXPECT_EQ(f.d->getPcbResult(), 0);
    EXPECT_EQ(f.d->getAssyResult(), 0);
    EXPECT_EQ(f.d->getStatus(), 2);
    EXPECT_EQ(f.d->getFinalResult(), 2);
    EXPECT_EQ(f.d->getResHighFreqP1Cnr(), 30);
    EXPECT_EQ(f.d->getResLowFreqP4Cnr(), 12);
    EXPECT_EQ(f.syncs(), 1);
    EXPECT_EQ(f.fileValue("chrontelVersion"), "2");
    EXPECT_EQ(f.fileValue("status"), "2");
    EXPECT_EQ(f.fileValue("finalResult"), "2");
    EXPECT_EQ(f.fileValue("highFreq01Cnr"), "30");
    EXPECT_EQ(f.fileValue("result"), "0");
    EXPECT_EQ(f.d->findItemNotTested(), "fwVersion");

    // Saving works normally again afterwards.
    f.root.clearRecordedCommands();
    f.d->setResFwVersion(2);
    EXPECT_EQ(f.syncs(), 3);
}

TEST(FactoryRecord, AReplacedDiskSyncRunsAfterEveryFlushInPlaceOfTheShellCommand)
{
    Fixture f;
    f.d->setDiskSync(nullptr);
    f.d->setStatus(1);
    EXPECT_EQ(f.syncs(), 1) << "no step given: the shell command stays";

    f.root.clearRecordedCommands();
    int steps = 0;
    f.d->setDiskSync([&] { ++steps; });
    f.d->setResScan(2);
    f.d->setStatus(2);
    f.d->resetAllProperty();
    f.d->reset();
    EXPECT_EQ(steps, 3 + 1 + 1 + 4) << "verdicts, status, one batch, reset and its verdicts";
    EXPECT_EQ(f.syncs(), 0);
    EXPECT_EQ(f.fileValue("status"), "0") << "the file itself is still written";
}

TEST(FactoryRecord, NextUntestedItemFollowsTheScreensOrder)
{
    Fixture f;
    f.d->setResFwVersion(2);
    EXPECT_EQ(f.d->findItemNotTested(), "chrontelVersion");
    setPcb(f.d, 1);
    EXPECT_EQ(f.d->findItemNotTested(), "scan") << "a failed item counts as tested";
    f.d->setResScan(2);
    f.d->setResHighFreqP1(2);
    f.d->setResHighFreqP2(2);
    f.d->setResHighFreqP3(2);
    f.d->setResHighFreqP4(2);
    EXPECT_EQ(f.d->findItemNotTested(), "hdmiOutput");
}

TEST(FactoryRecord, ResetZeroesAllButTheFinalResult)
{
    Fixture f("finalResult=2\nstatus=2\nscan=2\nlowFreq01Cnr=9\n");
    f.d->reset();
    EXPECT_EQ(f.d->getFinalResult(), 2);
    EXPECT_EQ(f.d->getStatus(), 0);
    EXPECT_EQ(f.d->getResScan(), 0);
    EXPECT_EQ(f.d->getResLowFreqP1Cnr(), 0);
    EXPECT_EQ(f.fileValue("finalResult"), "2");
    EXPECT_EQ(f.fileValue("usbPort"), "0");
    EXPECT_EQ(f.fileValue("result"), "0");
}

}  // namespace
