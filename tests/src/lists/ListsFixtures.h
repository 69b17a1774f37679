#pragma once
// Helpers shared by the list, database and job-thread tests: a Qt core
// application for signal delivery, a development root of the test's own,
// and small writers of channel and guide databases in the broadcast
// engine's layout.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include "TestDevRoot.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace fixtures {

inline QCoreApplication* app()
{
    static int argc = 1;
    static char name[] = "lists-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return instance;
}

// One development root for the whole test program, made before the first
// singleton reads its paths; it carries the recording stand-ins for "sync".
inline holvik_test::TestDevRoot& devRoot()
{
    static holvik_test::TestDevRoot* root = new holvik_test::TestDevRoot();
    return *root;
}

struct Channel {
    int id;
    int channelNumber;
    int remoconID;
    int serviceID;
    int serviceType;  // 1 full-seg, 0xC0 one-seg
    int audioPID;
    int videoPID;
    int pmtPID;
    std::string tsName;
    int threeDigit = 0;
    int networkID = 0x7FE0;
};

struct Event {
    int id;
    int eventID;
    int startMJD;
    int startHH;
    int startMM;
    int durHH;
    int durMM;
    std::string name;
    std::string text = "";
};

inline void exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error(msg + " in " + sql);
    }
}

inline std::string quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

inline void writeChannels(const QString& path, const std::vector<Channel>& rows)
{
    QDir().mkpath(QFileInfo(path).path());
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db, "DROP TABLE IF EXISTS channels; CREATE TABLE channels (_id INTEGER PRIMARY KEY, channelNumber "
             "INTEGER, remoconID INTEGER, serviceID INTEGER, LOGO_ID INTEGER, TSName TEXT, serviceType INTEGER, "
             "regionID INTEGER, audioPID INTEGER, videoPID INTEGER, PMT_PID INTEGER, threedigitNumber INTEGER, "
             "berAVG INTEGER, networkID INTEGER)");
    exec(db, "BEGIN");
    for (const Channel& c : rows) {
        exec(db, "INSERT INTO channels VALUES (" + std::to_string(c.id) + "," + std::to_string(c.channelNumber) + ","
                     + std::to_string(c.remoconID) + "," + std::to_string(c.serviceID) + ",0," + quote(c.tsName)
                     + "," + std::to_string(c.serviceType) + ",0," + std::to_string(c.audioPID) + ","
                     + std::to_string(c.videoPID) + "," + std::to_string(c.pmtPID) + ","
                     + std::to_string(c.threeDigit) + ",0," + std::to_string(c.networkID) + ")");
    }
    exec(db, "COMMIT");
    sqlite3_close(db);
}

inline std::string guideTable(bool schedule, int channelNumber, int serviceID)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%s%d_0x%x", schedule ? "EPG_Sche_" : "EPG_PF_", channelNumber, serviceID);
    return buf;
}

inline void writeGuide(const QString& path, const std::string& table, const std::vector<Event>& events)
{
    QDir().mkpath(QFileInfo(path).path());
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db, "DROP TABLE IF EXISTS " + table + "; CREATE TABLE " + table
                 + " (_id INTEGER PRIMARY KEY, EventID INTEGER, Start_MJD INTEGER, Start_HH INTEGER, Start_MM "
                   "INTEGER, Duration_HH INTEGER, Duration_MM INTEGER, EvtName TEXT, EvtText TEXT, ExtEvtItem "
                   "TEXT, ExtEvtText TEXT)");
    exec(db, "BEGIN");
    for (const Event& e : events) {
        exec(db, "INSERT INTO " + table + " VALUES (" + std::to_string(e.id) + "," + std::to_string(e.eventID) + ","
                     + std::to_string(e.startMJD) + "," + std::to_string(e.startHH) + "," + std::to_string(e.startMM)
                     + "," + std::to_string(e.durHH) + "," + std::to_string(e.durMM) + "," + quote(e.name) + ","
                     + quote(e.text) + ",NULL,'ext')");
    }
    exec(db, "COMMIT");
    sqlite3_close(db);
}

}  // namespace fixtures
