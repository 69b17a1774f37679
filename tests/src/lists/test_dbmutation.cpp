// Damaged database files: every read of the database manager must end
// cleanly, whatever bytes the files hold.
#include "DbInputs.h"
#include "ListsFixtures.h"

#include <QFile>

#include <climits>

#include <gtest/gtest.h>

#include <random>

namespace {

std::string mutate(std::string bytes, std::mt19937& rng)
{
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < edits && !bytes.empty(); ++i) {
        const size_t at = rng() % bytes.size();
        switch (rng() % 3) {
        case 0: bytes[at] = static_cast<char>(rng()); break;          // change a byte
        case 1: bytes[at] = static_cast<char>(bytes[at] ^ 0x80); break;  // flip a high bit
        default: bytes.resize(at); break;                             // cut the file
        }
    }
    return bytes;
}

TEST(DbMutation, DamagedFilesAreReadWithoutFault)
{
    const std::string channels = dbinputs::validChannelFile();
    const std::string guide = dbinputs::validGuideFile();
    dbinputs::readAll(channels, guide);
    dbinputs::readAll("", "");
    dbinputs::readAll("not a database", std::string(4096, '\0'));
    std::mt19937 rng(20261210);
    for (int round = 0; round < 150; ++round)
        dbinputs::readAll(mutate(channels, rng), mutate(guide, rng));
}

TEST(DbMutation, HostileValuesInWellFormedTables)
{
    QTemporaryDir dir;
    const QString ch = dir.path() + "/c.db", guide = dir.path() + "/g.db";
    const int big = INT_MAX, small = INT_MIN;
    fixtures::writeChannels(ch, {{1, 27, big, 0x5c38, 1, 0x110, 0x111, 0x1F0, "big key"},
                                 {2, 27, small, 0x5cb8, 0xC0, 0, 0, 0x1FC8, ""},
                                 {3, big, 1, big, 1, big, big, small, std::string(3000, 'x')},
                                 {4, -1, 0, -5, 1, 1, 1, 1, "zero key"}});
    const std::vector<fixtures::Event> events = {
        {1, 10, big, big, big, big, big, "huge"},
        {2, 11, small, small, small, small, small, "tiny"},
        {3, 12, 60000, 10, 0, -3, -50, "negative duration"},
        {4, 13, 59999, 25, 75, 0, 0, "bad clock"},
    };
    fixtures::writeGuide(guide, fixtures::guideTable(false, 27, 0x5c38), events);
    fixtures::writeGuide(guide, fixtures::guideTable(true, 27, 0x5c38), events);
    auto bytes = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray b = f.readAll();
        return std::string(b.constData(), b.size());
    };
    dbinputs::readAll(bytes(ch), bytes(guide));
}

}  // namespace
