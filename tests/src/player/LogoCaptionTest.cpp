// Station logos (queued by the wrapper, written by the logo writer) and
// captions (mapped from the caption plane into the holder and painted by the
// image item).
#include "PlayerFixture.h"

#include "BroadcastSim.h"
#include "ISDBtDataManager.h"
#include "ISDBtUtil.h"
#include "ImageItem.h"
#include "ImageMakeThread.h"
#include "SubtitleItem.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSignalSpy>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

QString logoPath(int networkID)
{
    return sutil::makeLogoName(ImageMakeThread::logoDirectory(), networkID);
}

// Logos written for one station, as the wrapper reported them.
size_t logosOf(SignalLog* log, int networkID)
{
    size_t n = 0;
    for (const Signal& s : log->named("notifyLogoImageCreated"))
        n += s.args.value(1).toInt() == networkID;
    return n;
}

// Waits until WRITER has written everything queued before this call (earlier
// tests and the scan queue logos too): the writer is one thread that takes
// records in order, so a marker record queued now comes back last. The
// wrapper's notices of those writes have arrived when this returns.
bool drain(ImageMakeThread* writer)
{
    static int next = 0x7e00;
    const int marker = next++;
    bool seen = false;
    QObject receiver;  // on this thread: the writer's signal arrives queued
    QObject::connect(writer, &ImageMakeThread::sendSaveLogoComplete, &receiver,
                     [&](int, int networkID, QString) { seen = seen || networkID == marker; });
    auto r = std::make_shared<tagDbIconItem>();
    memset(r.get(), 0, sizeof *r);
    r->width = r->height = 1;
    r->networkID = marker;
    writer->pushData(r);
    const bool ok = spinUntil([&] { return seen; }, 30000);
    QCoreApplication::sendPostedEvents();
    QFile::remove(logoPath(marker));
    return ok;
}

// Calls the engine-facing getChannelInfo of the wrapper and waits for the
// logo writer to be done with what it queued.
void refresh(KvrOzbFSegPlayer* p, int ch, int sid)
{
    p->getChannelInfo(0, ch, sid);
    ASSERT_TRUE(drain(p->imageMakeThread()));
}

TEST_F(PlayerTest, ChannelInfoSetsProgrammeAndLanguagesOnlyOnChange)
{
    startAndScan();
    ISDBtDataManager* dm = ISDBtDataManager::getInstance();
    m_log->clear();
    m_player->getChannelInfo(0, 20, 0xe100);
    EXPECT_EQ(dm->getCurrProgramName(), "Morning News");
    BilingualInfo* b = m_player->m_pBilingualInfo;
    EXPECT_EQ(b->totalAudioPID, 2);
    EXPECT_EQ(b->audioMode, 2);
    EXPECT_EQ(b->audioMain[0], ('p' << 16) | ('o' << 8) | 'r');
    EXPECT_EQ(b->audioSub[0], ('e' << 16) | ('n' << 8) | 'g');
    EXPECT_EQ(b->audioMainText[0], "Portugues");
    EXPECT_EQ(b->audioSubText[0], "English");
    EXPECT_EQ(b->audioMainText[1], "Espanol");
    deliverQueued();
    EXPECT_EQ(m_log->named("notifyBilingualInfoUpdate").size(), 1u);

    // Same integers again: texts refreshed, no signal.
    b->audioMainText[0] = "stale";
    m_player->getChannelInfo(0, 20, 0xe100);
    deliverQueued();
    EXPECT_EQ(m_log->named("notifyBilingualInfoUpdate").size(), 1u);
    EXPECT_EQ(b->audioMainText[0], "Portugues");

    // Texts longer than the engine's buffers are cut at the buffers.
    m_player->getChannelInfo(0, 27, 0xe300);
    EXPECT_EQ(dm->getCurrProgramName(), QString(256, 'A'));
    EXPECT_EQ(b->audioMainText[0], QString("0123456789012345678901234567890123456789").left(33));

    // A failing engine call changes nothing.
    dm->setCurrProgramName("kept");
    m_player->getChannelInfo(0, 21, 0xe300);
    EXPECT_EQ(dm->getCurrProgramName(), "kept");
}

TEST_F(PlayerTest, LogoPngIsWrittenOnceAndReadsBackAsSent)
{
    startAndScan();
    ASSERT_TRUE(drain(m_player->imageMakeThread()));
    QFile::remove(logoPath(0x7f30));
    m_log->clear();
    refresh(m_player, 27, 0xe300);
    ASSERT_EQ(logosOf(m_log, 0x7f30), 1u);
    EXPECT_EQ(m_log->named("notifyLogoImageCreated")[0].args, (QVariantList{27, 0x7f30}));
    EXPECT_TRUE(m_log->named("notifyLogoImageCreated")[0].onGuiThread);

    QImage png(logoPath(0x7f30));
    ASSERT_FALSE(png.isNull());
    ASSERT_EQ(png.size(), QSize(8, 4));
    png = png.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t bgra = bsim::logoPixel(0x7f30, x, y);
            const uchar* px = png.constScanLine(y) + 4 * x;
            ASSERT_EQ(px[0], (bgra >> 16) & 0xFF) << x << "," << y;  // red
            ASSERT_EQ(px[1], (bgra >> 8) & 0xFF);
            ASSERT_EQ(px[2], bgra & 0xFF);                       // blue
            ASSERT_EQ(px[3], bgra >> 24);
        }
    EXPECT_GE(s_root->recordedCommands().size(), 1u);  // flushed with "sync"

    // Same size and file present: not written again; file gone: written again.
    refresh(m_player, 27, 0xe300);
    EXPECT_EQ(logosOf(m_log, 0x7f30), 1u);
    QFile::remove(logoPath(0x7f30));
    refresh(m_player, 27, 0xe300);
    EXPECT_EQ(logosOf(m_log, 0x7f30), 2u);
    EXPECT_TRUE(QFile::exists(logoPath(0x7f30)));

    // The station gathering rewrites only when forced.
    m_player->getStationlLogo(0, 27, 0xe300, false);
    ASSERT_TRUE(drain(m_player->imageMakeThread()));
    EXPECT_EQ(logosOf(m_log, 0x7f30), 2u);
    m_player->getStationlLogo(0, 27, 0xe300, true);
    ASSERT_TRUE(drain(m_player->imageMakeThread()));
    EXPECT_EQ(logosOf(m_log, 0x7f30), 3u);
}

TEST_F(PlayerTest, LogoLargerThanTheRecordIsRefused)
{
    startAndScan();
    ASSERT_TRUE(drain(m_player->imageMakeThread()));
    QFile::remove(logoPath(0x7f10));
    m_log->clear();
    m_player->getChannelInfo(0, 20, 0xe100);     // 100 x 100 x 4 > 32768
    m_player->getStationlLogo(0, 20, 0xe100, true);
    ASSERT_TRUE(drain(m_player->imageMakeThread()));
    EXPECT_FALSE(QFile::exists(logoPath(0x7f10)));
    EXPECT_EQ(logosOf(m_log, 0x7f10), 0u);

    // Sizes past the buffer, including pairs whose byte count overflows a
    // 64-bit product into a small or negative number: refused before any
    // pixel is read, by the synchronous writer and by the background one.
    std::vector<unsigned char> big(100 * 100 * 4, 0x55);
    const struct {
        int width, height;
    } sizes[] = {{100, 100}, {8193, 1}, {1, 8193}, {65536, 65536}, {0x7fffffff, 0x7fffffff},
                 {0x40000000, 0x40000001}};
    ImageMakeThread writer;
    QSignalSpy written(&writer, &ImageMakeThread::sendSaveLogoComplete);
    for (const auto& sz : sizes) {
        m_player->makeLogoImage(20, 0x7f10, sz.width, sz.height, big.data());
        auto record = std::make_shared<tagDbIconItem>();
        memset(record.get(), 0, sizeof *record);
        record->width = sz.width;
        record->height = sz.height;
        record->networkID = 0x7f10;
        writer.makeImage(record);
        EXPECT_FALSE(QFile::exists(logoPath(0x7f10))) << sz.width << "x" << sz.height;
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(logosOf(m_log, 0x7f10), 0u);
    EXPECT_EQ(written.count(), 0);

    // The largest logo that fits is still written.
    std::vector<unsigned char> full(32768, 0x66);
    m_player->makeLogoImage(20, 0x7f10, 8192, 1, full.data());
    EXPECT_EQ(QImage(logoPath(0x7f10)).size(), QSize(8192, 1));
    QFile::remove(logoPath(0x7f10));
}

TEST_F(PlayerTest, LogoWriterQueueRules)
{
    ImageMakeThread writer;
    QSignalSpy done(&writer, &ImageMakeThread::sendSaveLogoComplete);
    auto record = [](int networkID, unsigned char fill) {
        auto r = std::make_shared<tagDbIconItem>();
        memset(r.get(), 0, sizeof *r);
        r->width = 4;
        r->height = 2;
        r->channelNumber = 30;
        r->serviceID = 0x100;
        r->networkID = networkID;
        memset(r->pixels, fill, 4 * 2 * 4);
        return r;
    };
    QFile::remove(logoPath(0x900));
    writer.pushData(record(0x900, 1));  // not running yet: queued
    writer.init();
    writer.pushData(record(0x900, 200));  // same key: overwrites the first
    writer.pushData(record(0, 9));        // no key: dropped without a signal
    ASSERT_TRUE(spinUntil([&] { return done.count() >= 2; }));
    ASSERT_TRUE(drain(&writer));
    EXPECT_EQ(done.count(), 3);  // the two records and the marker
    EXPECT_EQ(done.at(1).at(2).toString(), logoPath(0x900));
    QImage png(logoPath(0x900));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGBA8888).constBits()[0], 200);

    writer.stop();
    writer.pushData(record(0x901, 3));  // dropped while stopped
    writer.init();
    ASSERT_TRUE(drain(&writer));
    EXPECT_FALSE(QFile::exists(logoPath(0x901)));

    writer.stop();
    writer.init();  // at once: the same thread goes on
    writer.pushData(record(0x902, 3));
    ASSERT_TRUE(spinUntil([&] { return done.count() == 5; }));
    EXPECT_TRUE(writer.isRunning());
}

TEST_F(PlayerTest, QueueingALogoNeverWaitsForTheFileBeingWritten)
{
    // "sync" of this root parks until the test lets it go (at most 20 s).
    const std::string dir = s_root->root();
    const std::string syncPath = s_root->path("/bin/sync");
    const std::string original = holvik_test::readFile(syncPath);
    holvik_test::writeFile(syncPath,
                           "#!/bin/sh\n"
                           "touch " + dir + "/sync-started\n"
                           "i=0\n"
                           "while [ ! -e " + dir + "/sync-release ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
                           "touch " + dir + "/sync-finished\n");
    auto cleanup = [&] {
        holvik_test::writeFile(syncPath, original);
        std::remove((dir + "/sync-started").c_str());
        std::remove((dir + "/sync-release").c_str());
        std::remove((dir + "/sync-finished").c_str());
    };
    ImageMakeThread writer;
    auto r = std::make_shared<tagDbIconItem>();
    memset(r.get(), 0, sizeof *r);
    r->width = r->height = 2;
    r->networkID = 0x910;
    writer.init();
    writer.pushData(r);
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(QString::fromStdString(dir + "/sync-started")); }, 10000));
    auto r2 = std::make_shared<tagDbIconItem>(*r);
    r2->networkID = 0x911;
    writer.pushData(r2);  // must return while the first file is still being flushed
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "/sync-finished")));
    holvik_test::writeFile(dir + "/sync-release", "");
    writer.stop();
    writer.wait();
    cleanup();
}

TEST_F(PlayerTest, CaptionReachesTheHolderAndIsPaintedAsRgba)
{
    startAndScan();
    tune(20, 0xe100);
    SubtitleItem* holder = SubtitleItem::getInstance();
    holder->clearData(0);
    // 720 x 480 caption: left half one colour, right half another (B,G,R,A).
    std::vector<uint8_t> bgra(720 * 480 * 4);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 720; ++x) {
            uint8_t* p = &bgra[(y * 720 + x) * 4];
            if (x < 360) { p[0] = 10; p[1] = 20; p[2] = 30; p[3] = 255; }
            else { p[0] = 200; p[1] = 100; p[2] = 50; p[3] = 255; }
        }
    m_log->clear();
    ASSERT_TRUE(bsim::injectCaption(0, 0xe100, 720, 480, bgra));
    ASSERT_TRUE(spinUntil([&] { return !m_log->named("notifySubtitleUpdate").empty(); }));
    EXPECT_TRUE(m_log->named("notifySubtitleUpdate")[0].onGuiThread);
    EXPECT_EQ(holder->m_nType, 1);
    EXPECT_EQ(holder->m_nWidth, 720);
    EXPECT_EQ(holder->m_nHeight, 480);
    EXPECT_EQ(holder->m_nSID, 0xe100);
    EXPECT_EQ(holder->m_buffer720[0], 30);  // bytes 0 and 2 swapped
    EXPECT_EQ(holder->m_buffer720[1], 20);
    EXPECT_EQ(holder->m_buffer720[2], 10);
    EXPECT_EQ(holder->m_buffer720[3], 255);

    // Painted stretched over a 360 x 240 item: left half (30,20,10), right (50,100,200).
    QQuickWindow window;
    window.resize(360, 240);
    ImageItem item(window.contentItem());
    item.setSize(QSizeF(360, 240));
    window.show();
    ASSERT_TRUE(spinUntil([&] { return window.isExposed(); }));
    item.updateImage();
    QImage grab;
    QSharedPointer<QQuickItemGrabResult> result = item.grabToImage();
    ASSERT_TRUE(result);
    ASSERT_TRUE(spinUntil([&] { return !result->image().isNull(); }));
    grab = result->image();
    ASSERT_EQ(grab.size(), QSize(360, 240));
    EXPECT_EQ(QColor(grab.pixel(40, 120)), QColor(30, 20, 10));
    EXPECT_EQ(QColor(grab.pixel(320, 120)), QColor(50, 100, 200));

    // A second caption of another size reuses the mapping.
    std::vector<uint8_t> wide(960 * 540 * 4, 0x40);
    ASSERT_TRUE(bsim::injectCaption(0, 0xe100, 960, 540, wide));
    ASSERT_TRUE(spinUntil([&] { return m_log->named("notifySubtitleUpdate").size() == 2; }));
    EXPECT_EQ(holder->m_nType, 0);
    EXPECT_EQ(holder->m_nWidth, 960);

    // Size 0 keeps what is shown.
    ASSERT_TRUE(bsim::injectEvent(9, 0, 0xe100, {0, 0, static_cast<int>(bsim::kCaptionBase)}));
    deliverQueued();
    EXPECT_EQ(m_log->named("notifySubtitleUpdate").size(), 2u);
    EXPECT_EQ(holder->m_nWidth, 960);
}

TEST_F(PlayerTest, CaptionOutsideThePlaneIsDropped)
{
    startAndScan();
    // Map the plane with a first good caption.
    std::vector<uint8_t> px(720 * 480 * 4, 0x11);
    ASSERT_TRUE(bsim::injectCaption(0, 0xe100, 720, 480, px));
    ASSERT_TRUE(spinUntil([&] { return m_log->named("notifySubtitleUpdate").size() == 1; }));
    SubtitleItem* holder = SubtitleItem::getInstance();
    holder->clearData(77);

    const unsigned base = bsim::kCaptionBase, size = bsim::kCaptionSize;
    const int s720 = 720 * 480 * 4;
    const struct {
        unsigned phy;
        int size;
    } cases[] = {
        {base - 0x1000, s720},               // starts before the plane
        {base + size - 0x1000, s720},        // runs past its end
        {base + size, 16},                   // just after it
        {0xFFFFF000u, s720},                 // wraps a 32-bit sum
        {base, -1},                          // a size no plane can hold
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(bsim::injectEvent(9, 0, 0xe100, {0, c.size, static_cast<int>(c.phy)}));
        deliverQueued();
        EXPECT_EQ(m_log->named("notifySubtitleUpdate").size(), 1u) << std::hex << c.phy;
        EXPECT_EQ(holder->m_nSID, 77) << std::hex << c.phy;
    }
}

TEST(SubtitleItemTest, KeepsOnlyTheTwoCaptionSizes)
{
    SubtitleItem* h = SubtitleItem::getInstance();
    std::vector<unsigned char> px(720 * 480 * 4 + 4, 0x22);
    h->setData(5, 720 * 480 * 4 + 4, px.data());
    EXPECT_EQ(h->m_nWidth, 0);
    EXPECT_EQ(h->m_nSID, 5);
    EXPECT_EQ(h->m_buffer720[0], 0);
    h->clearData(0);
    EXPECT_EQ(h->m_nSID, 0);
    h->clearData(1024);
    EXPECT_EQ(h->m_nSID, 1024);
    EXPECT_EQ(h->m_nWidth, 0);
}

}  // namespace
