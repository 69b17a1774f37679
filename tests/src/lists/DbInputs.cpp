#include "DbInputs.h"

#include "ISDBtDataManager.h"
#include "KvrOzbFSegDBManager.h"
#include "ListsFixtures.h"

#include <QFile>

#include <atomic>

namespace dbinputs {

namespace {

const int MJD = 60000;
const int CH = 27;
const int SID = 0x5c38;

QString scratchDir()
{
    static QTemporaryDir dir;  // removed when the program ends
    return dir.path();
}

std::string readBack(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    return std::string(bytes.constData(), bytes.size());
}

void writeFile(const QString& path, const std::string& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

std::string validChannelFile()
{
    const QString path = scratchDir() + "/valid-channels.db";
    QFile::remove(path);
    fixtures::writeChannels(path, {{1, CH, 1, SID, 1, 0x110, 0x111, 0x1F0, "One"},
                                   {2, CH, 1, 0x5cb8, 0xC0, 0x112, 0x113, 0x1FC8, "One 1seg"},
                                   {3, 28, 2, 0x6000, 1, 0x120, 0x121, 0x1F0, "Two"},
                                   {4, 28, 2, 0x6001, 1, 0x120, 0x121, 0x1F1, "Two dup"}});
    return readBack(path);
}

std::string validGuideFile()
{
    const QString path = scratchDir() + "/valid-guide.db";
    QFile::remove(path);
    fixtures::writeGuide(path, fixtures::guideTable(false, CH, SID),
                         {{1, 10, MJD - 1, 23, 30, 1, 0, "Late"}, {2, 11, MJD, 10, 0, 1, 0, "News"}});
    fixtures::writeGuide(path, fixtures::guideTable(true, CH, SID),
                         {{1, 11, MJD, 10, 0, 1, 0, "News"}, {2, 12, MJD, 11, 0, 0, 30, "Eleven"},
                          {3, 13, MJD + 1, 6, 0, 0, 30, "Dawn"}});
    return readBack(path);
}

void readAll(const std::string& channelFile, const std::string& guideFile)
{
    fixtures::app();
    fixtures::devRoot();
    const QString dataDir = scratchDir() + "/data";
    QDir().mkpath(dataDir);
    qputenv("OZB_DATA_PATH", dataDir.toLocal8Bit());
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    settings->setMode(0);
    settings->setCurrServiceID(SID);
    settings->setCurrChannelNumber(CH);
    settings->setCurrentDataTime(MJD, 10 * 3600 + 30 * 60);

    KvrOzbFSegDBManager db;
    writeFile(dataDir + "/ISDBT0.db", channelFile);
    QDir().mkpath(db.guideDirectory());
    writeFile(db.guideDirectory() + "/ISDBTEPG0.db", guideFile);
    db.init();
    db.getChannelsFromDB(0, true, 0);
    db.getChannelsFromDB(0, false, 1);
    db.makeChannelList(0, 1);
    db.getChannelsOfChNumFromDB(0, 28);
    db.removeAddChannel(0, true, 28);
    db.getCurrentEpgItem(0, CH, SID);
    db.getEpgCountFormDB(0, 0, CH, SID);
    std::atomic<bool> cancel{false};
    db.getEpgItemsFromDB(0, 0, CH, SID, true, cancel);
    db.makeEpgList(0);
    db.getProgramNameFromDB(0, 1, CH, SID);
    db.getCurrentEpgs(0, CH, SID);
    QCoreApplication::processEvents();
    db.release();
    qunsetenv("OZB_DATA_PATH");
}

}  // namespace dbinputs
