// The engine builds the job thread and the database manager, publishes the
// list models to the QML under their names, and its start() prepares the
// player through the power-on job.
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "TestDevRoot.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(EngineWiring, ListModelsArePublishedAndStartPreparesThePlayer)
{
    static int argc = 1;
    static char name[] = "lists-engine-test";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    new QGuiApplication(argc, argv);
    holvik_test::TestDevRoot root;
    auto qml = std::make_unique<QQmlEngine>();
    auto engine = std::make_unique<ISDBtAppEngine>(7, qml.get(), nullptr);
    engine->init();
    engine->start();

    KvrOzbFSegDBManager* db = KvrOzbFSegDBManager::getInstance();
    const int mode = ISDBtDataManager::getInstance()->getMode();
    QQmlContext* ctx = qml->rootContext();
    EXPECT_EQ(ctx->contextProperty("StationListModel").value<QObject*>(), db->getStationProxyModel(mode));
    EXPECT_EQ(ctx->contextProperty("ChannelListModel").value<QObject*>(), db->getChannelProxyModel(mode));
    EXPECT_EQ(ctx->contextProperty("EpgListModel").value<QObject*>(), db->getEpgListModel(mode));
    EXPECT_EQ(ctx->contextProperty("EpgDayListModel").value<QObject*>(), db->getEpgDayListModel());
    for (int day = 0; day < 8; ++day) {
        EXPECT_EQ(ctx->contextProperty(QString("EpgDay%1TimeListModel").arg(day)).value<QObject*>(),
                  db->getEpgDayTimeListModel(day))
            << "day " << day;
    }

    // Powered on at start: the power-on job creates and prepares the player.
    QElapsedTimer t;
    t.start();
    while (!KvrOzbFSegPlayer::getInstance()->isPrepared() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(KvrOzbFSegPlayer::getInstance()->isPrepared());

    engine.reset();
    qml.reset();
}

}  // namespace

// Fontconfig keeps caches for the life of the process, which LeakSanitizer
// reports at exit; they are not the program's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
