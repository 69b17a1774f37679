#pragma once
// Helpers shared by the list, database and job-thread tests: a Qt core
// application for signal delivery, a development root of the test's own,
// and channel and guide databases written with the broadcast engine
// stand-in's writers.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include "BroadcastDb.h"
#include "TestDevRoot.h"

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
// The singletons keep its paths to the end, so it is removed only when the
// program ends.
inline holvik_test::TestDevRoot& devRoot()
{
    static holvik_test::TestDevRoot* root = [] {
        auto* r = new holvik_test::TestDevRoot();
        std::atexit([] { delete root; });
        return r;
    }();
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

inline void writeChannels(const QString& path, const std::vector<Channel>& rows)
{
    QDir().mkpath(QFileInfo(path).path());
    std::vector<bsim::ChannelRow> out;
    for (const Channel& c : rows) {
        bsim::ChannelRow r;
        r.id = c.id;
        r.channelNumber = c.channelNumber;
        r.remoconID = c.remoconID;
        r.serviceID = c.serviceID;
        r.tsName = c.tsName;
        r.serviceType = c.serviceType;
        r.audioPID = c.audioPID;
        r.videoPID = c.videoPID;
        r.pmtPID = c.pmtPID;
        r.threeDigitNumber = c.threeDigit;
        r.networkID = c.networkID;
        out.push_back(r);
    }
    std::string error;
    if (!bsim::writeChannelDatabase(path.toStdString(), out, &error))
        throw std::runtime_error(error);
}

inline std::string guideTable(bool schedule, int channelNumber, int serviceID)
{
    return bsim::guideTableName(schedule, channelNumber, serviceID);
}

// Writes (or replaces) one guide table; the other tables of the file stay.
inline void writeGuide(const QString& path, const std::string& table, const std::vector<Event>& events)
{
    QDir().mkpath(QFileInfo(path).path());
    bsim::GuideTable t;
    t.name = table;
    for (const Event& e : events) {
        bsim::GuideRow r;
        r.id = e.id;
        r.eventID = e.eventID;
        r.startMJD = e.startMJD;
        r.startHH = e.startHH;
        r.startMM = e.startMM;
        r.durationHH = e.durHH;
        r.durationMM = e.durMM;
        r.name = e.name;
        r.text = e.text;
        r.extText = "ext";
        t.rows.push_back(r);
    }
    std::string error;
    if (!bsim::writeGuideDatabase(path.toStdString(), {t}, false, &error))
        throw std::runtime_error(error);
}

}  // namespace fixtures
