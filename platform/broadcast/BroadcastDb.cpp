#include "BroadcastDb.h"

#include <sqlite3.h>

#include <unistd.h>

#include <cstdio>

namespace bsim {
namespace {

// Closes the handle on every path out of a writer.
struct Db {
    sqlite3* h = nullptr;
    ~Db() {
        if (h) sqlite3_close_v2(h);
    }
};

bool fail(std::string* error, const std::string& what, sqlite3* h) {
    if (error) *error = what + ": " + (h ? sqlite3_errmsg(h) : "out of memory");
    return false;
}

bool exec(sqlite3* h, const char* sql, std::string* error) {
    char* msg = nullptr;
    if (sqlite3_exec(h, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        if (error) *error = std::string(sql) + ": " + (msg ? msg : "?");
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool openAndBegin(const std::string& path, Db* db, std::string* error) {
    if (sqlite3_open_v2(path.c_str(), &db->h, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return fail(error, "open " + path, db->h);
    // Readers hold shared locks for a moment; wait for them rather than fail.
    sqlite3_busy_timeout(db->h, 2000);
    return exec(db->h, "BEGIN IMMEDIATE", error);
}

bool openForWrite(const std::string& path, Db* db, std::string* error) {
    if (openAndBegin(path, db, error)) return true;
    const int rc = db->h ? sqlite3_errcode(db->h) : SQLITE_NOMEM;
    if (rc != SQLITE_NOTADB && rc != SQLITE_CORRUPT) return false;
    // A damaged file is written anew, as the engine does. It is emptied in
    // place rather than replaced, so that the application's reader, which
    // keeps the file open, sees the new database at its next query.
    sqlite3_close_v2(db->h);
    db->h = nullptr;
    if (truncate(path.c_str(), 0) != 0) {
        if (error) *error = "empty the damaged " + path;
        return false;
    }
    return openAndBegin(path, db, error);
}

bool commit(sqlite3* h, std::string* error) {
    if (exec(h, "COMMIT", error)) return true;
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool rollback(sqlite3* h) {
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

// Runs one bound insert and readies the statement for the next row. A
// failure ends the writer: the statement is freed and the transaction undone.
bool insertRow(sqlite3_stmt* st, sqlite3* h, std::string* error) {
    if (sqlite3_step(st) != SQLITE_DONE) {
        fail(error, "insert", h);
        sqlite3_finalize(st);
        return rollback(h);
    }
    sqlite3_reset(st);
    return true;
}

// A table name made by guideTableName() never needs quoting, but names come
// from callers too: quote them as SQL identifiers.
std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string guideTableName(bool schedule, int channelNumber, int serviceID) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%d_0x%x", schedule ? "EPG_Sche_" : "EPG_PF_", channelNumber,
                  static_cast<unsigned>(serviceID));
    return buf;
}

bool writeChannelDatabase(const std::string& path, const std::vector<ChannelRow>& rows,
                          std::string* error) {
    Db db;
    if (!openForWrite(path, &db, error)) return false;
    if (!exec(db.h,
              "DROP TABLE IF EXISTS channels;"
              "CREATE TABLE channels (_id INTEGER PRIMARY KEY, channelNumber INTEGER,"
              " remoconID INTEGER, serviceID INTEGER, LOGO_ID INTEGER, TSName TEXT,"
              " serviceType INTEGER, regionID INTEGER, audioPID INTEGER, videoPID INTEGER,"
              " PMT_PID INTEGER, threedigitNumber INTEGER, berAVG INTEGER, networkID INTEGER,"
              " transportStreamID INTEGER)",
              error))
        return rollback(db.h);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.h,
                           "INSERT INTO channels VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st,
                           nullptr) != SQLITE_OK) {
        fail(error, "prepare insert", db.h);
        return rollback(db.h);
    }
    for (const ChannelRow& r : rows) {
        const int ints[] = {r.id,       r.channelNumber, r.remoconID, r.serviceID, r.logoID};
        for (int i = 0; i < 5; ++i) sqlite3_bind_int(st, i + 1, ints[i]);
        sqlite3_bind_text(st, 6, r.tsName.c_str(), -1, SQLITE_TRANSIENT);
        const int rest[] = {r.serviceType, r.regionID,  r.audioPID,  r.videoPID, r.pmtPID,
                            r.threeDigitNumber, r.berAVG, r.networkID, r.networkID};
        for (int i = 0; i < 9; ++i) sqlite3_bind_int(st, i + 7, rest[i]);
        if (!insertRow(st, db.h, error)) return false;
    }
    sqlite3_finalize(st);
    return commit(db.h, error);
}

bool readChannelDatabase(const std::string& path, std::vector<ChannelRow>* rows,
                         std::string* error) {
    rows->clear();
    Db db;
    if (sqlite3_open_v2(path.c_str(), &db.h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return fail(error, "open " + path, db.h);
    sqlite3_busy_timeout(db.h, 2000);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.h,
                           "SELECT _id, channelNumber, remoconID, serviceID, LOGO_ID, TSName,"
                           " serviceType, regionID, audioPID, videoPID, PMT_PID, threedigitNumber,"
                           " berAVG, networkID FROM channels ORDER BY _id",
                           -1, &st, nullptr) != SQLITE_OK)
        return fail(error, "prepare select", db.h);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ChannelRow r;
        int* ints[] = {&r.id, &r.channelNumber, &r.remoconID, &r.serviceID, &r.logoID};
        for (int i = 0; i < 5; ++i) *ints[i] = sqlite3_column_int(st, i);
        const unsigned char* name = sqlite3_column_text(st, 5);
        r.tsName = name ? reinterpret_cast<const char*>(name) : "";
        int* rest[] = {&r.serviceType, &r.regionID,         &r.audioPID, &r.videoPID,
                       &r.pmtPID,      &r.threeDigitNumber, &r.berAVG,   &r.networkID};
        for (int i = 0; i < 8; ++i) *rest[i] = sqlite3_column_int(st, i + 6);
        rows->push_back(r);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return fail(error, "select", db.h);
    return true;
}

bool writeGuideDatabase(const std::string& path, const std::vector<GuideTable>& tables,
                        bool replaceAll, std::string* error) {
    Db db;
    if (!openForWrite(path, &db, error)) return false;
    if (replaceAll) {
        std::vector<std::string> old;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.h, "SELECT name FROM sqlite_master WHERE type='table'", -1, &st,
                               nullptr) != SQLITE_OK) {
            fail(error, "list tables", db.h);
            return rollback(db.h);
        }
        while (sqlite3_step(st) == SQLITE_ROW)
            old.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        for (const std::string& name : old)
            if (!exec(db.h, ("DROP TABLE " + quoted(name)).c_str(), error)) return rollback(db.h);
    }
    for (const GuideTable& t : tables) {
        const std::string q = quoted(t.name);
        const std::string ddl = "DROP TABLE IF EXISTS " + q + "; CREATE TABLE " + q +
                                " (_id INTEGER PRIMARY KEY, EventID INTEGER, Start_MJD INTEGER,"
                                " Start_HH INTEGER, Start_MM INTEGER, Duration_HH INTEGER,"
                                " Duration_MM INTEGER, EvtName TEXT, EvtText TEXT,"
                                " ExtEvtItem TEXT, ExtEvtText TEXT, Genre INTEGER)";
        if (!exec(db.h, ddl.c_str(), error)) return rollback(db.h);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.h, ("INSERT INTO " + q + " VALUES (?,?,?,?,?,?,?,?,?,?,?,0)").c_str(),
                               -1, &st, nullptr) != SQLITE_OK) {
            fail(error, "prepare insert", db.h);
            return rollback(db.h);
        }
        for (const GuideRow& r : t.rows) {
            const int ints[] = {r.id,      r.eventID,    r.startMJD,  r.startHH,
                                r.startMM, r.durationHH, r.durationMM};
            for (int i = 0; i < 7; ++i) sqlite3_bind_int(st, i + 1, ints[i]);
            const std::string* texts[] = {&r.name, &r.text, &r.extItem, &r.extText};
            for (int i = 0; i < 4; ++i)
                sqlite3_bind_text(st, i + 8, texts[i]->c_str(), -1, SQLITE_TRANSIENT);
            if (!insertRow(st, db.h, error)) return false;
        }
        sqlite3_finalize(st);
    }
    return commit(db.h, error);
}

}  // namespace bsim
