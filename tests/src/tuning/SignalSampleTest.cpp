// How one signal sample of the broadcast engine reaches the factory screen's
// port figures and the engineering screen's signal information.

#include "EngineFixture.h"
#include "SignalInfoItem.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <vector>

using engine_test::Fixture;

namespace {

struct Published {
    const char* property;
    int value;
};

void expectSignalInfo(const std::vector<Published>& expected)
{
    SignalInfoItem* info = SignalInfoItem::getInstance();
    for (const Published& p : expected)
        EXPECT_EQ(info->property(p.property).toInt(), p.value) << p.property;
}

TEST(SignalSample, PortsTakeEntriesSevenToFourAndTheEngineeringScreenTheWholeRecord)
{
    Fixture f;
    // Every entry its own figure, so a shifted or swapped index shows. Entry
    // 4 (index 3, port 4) is negative; entries 12 and 13 go nowhere.
    std::vector<int> sample(257, 0);
    for (int i = 0; i < 14; ++i)
        sample[i] = 100 + i;
    sample[3] = -3;
    sample[13] = 557143;
    SignalInfoItem* info = SignalInfoItem::getInstance();
    QSignalSpy freq(info, SIGNAL(notifyFreqChanged(int)));

    // Without the engineering screen only the port figures are kept.
    f.engine->setSingnalQos(sample.data());
    EXPECT_EQ(f.engine->getAntPort01Cnr(), 106);
    EXPECT_EQ(f.engine->getAntPort02Cnr(), 105);
    EXPECT_EQ(f.engine->getAntPort03Cnr(), 104);
    EXPECT_EQ(f.engine->getAntPort04Cnr(), 0) << "a negative figure reads as 0";
    EXPECT_EQ(freq.count(), 0);
    expectSignalInfo({{"nCnrTot", 0}, {"nCnr0", 0}, {"nFreq", 0}});

    f.engine->setEngScreenStatus(true);
    f.engine->setSingnalQos(sample.data());
    expectSignalInfo({{"nEnabled2TS", 100},
                      {"nCnrTot", 101},
                      {"nCnr1Seg", 102},
                      {"nCnr0", 106},
                      {"nCnr1", 105},
                      {"nCnr2", 104},
                      {"nCnr3", 0},
                      {"nPerErrA", 107},
                      {"nPerTotA", 108},
                      {"nPerErrB", 109},
                      {"nPerTotB", 110},
                      {"nFreq", 557143}});
    EXPECT_EQ(freq.count(), 1);

    // A null sample changes nothing.
    f.engine->setSingnalQos(nullptr);
    EXPECT_EQ(f.engine->getAntPort01Cnr(), 106);
    EXPECT_EQ(info->getFreq(), 557143);

    // Off again: the ports follow new samples, the screen keeps the last one.
    f.engine->setEngScreenStatus(false);
    sample[6] = 7;
    sample[13] = 1;
    f.engine->setSingnalQos(sample.data());
    EXPECT_EQ(f.engine->getAntPort01Cnr(), 7);
    EXPECT_EQ(info->getFreq(), 557143);
}

}  // namespace
