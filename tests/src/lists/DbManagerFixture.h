#pragma once
// Base of the database-manager tests: a channel directory of the test's own
// (named by OZB_DATA_PATH), the settings store on the home list with
// full-segment reception, and model testers that stop the test at the first
// broken model contract.

#include "ISDBtDataManager.h"
#include "KvrOzbFSegDBManager.h"
#include "ListsFixtures.h"

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace fixtures {

class DbManagerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        devRoot();
        dataDir = std::make_unique<QTemporaryDir>();
        qputenv("OZB_DATA_PATH", dataDir->path().toLocal8Bit());
        settings = ISDBtDataManager::getInstance();
        settings->setMode(0);
        settings->setSegMode(4);
        settings->setCurrSegType(0);
    }
    void TearDown() override
    {
        testers.clear();
        db.reset();
        qunsetenv("OZB_DATA_PATH");
    }
    void watch(const QList<QAbstractItemModel*>& models)
    {
        for (QAbstractItemModel* m : models)
            testers.emplace_back(new QAbstractItemModelTester(m, QAbstractItemModelTester::FailureReportingMode::Fatal));
    }

    std::unique_ptr<QTemporaryDir> dataDir;
    ISDBtDataManager* settings = nullptr;
    std::unique_ptr<KvrOzbFSegDBManager> db;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
};

}  // namespace fixtures
