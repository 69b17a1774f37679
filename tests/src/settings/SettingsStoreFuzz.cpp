// Fuzz target of the settings and factory stores' files as a hand edit or a
// power cut can leave them: settings.ini (with the one-touch remote-key
// maps, whose chains the store walks at start) or factory.ini, read by a
// fresh store as the application's start does; then the key maps are asked
// for every key.
//
// Input: a selector byte (even: settings.ini, odd: factory.ini), then the
// file's bytes.

#include <QCoreApplication>
#include <QObject>
#include <QSettings>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The stores are process singletons with private constructors: the target
// makes a fresh one per input, as a new start would.
#define private public
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#undef private

#include "TestDevRoot.h"
#include "fuzz_quiet_commands.h"

namespace {

holvik_test::TestDevRoot* g_root = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "settings-store-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    g_root = new holvik_test::TestDevRoot;
    // The stores' log lines of every input would drown the fuzzer's output.
    if (!std::freopen((g_root->root() + "/console.txt").c_str(), "w", stdout))
        return 1;
    holvik_fuzz::quietCommands(g_root->root());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        holvik_test::writeFile(g_root->path("/home/root/isdbt/settings.ini"), text);
        delete ISDBtDataManager::m_pInstance;
        ISDBtDataManager::m_pInstance = nullptr;
        ISDBtDataManager* d = ISDBtDataManager::getInstance();
        for (int mode = 0; mode < 2; ++mode)
            for (int id = -1; id <= 13; ++id) {
                d->getUIRemoconID(mode, id);
                d->checkUIRemoconID(mode, id, id);
            }
        int remocon = 0, sub = 0;
        d->getChannel(&remocon, &sub);
    } else {
        holvik_test::writeFile(g_root->path("/home/root/isdbt/factory.ini"), text);
        delete ISDBtFactoryDataManager::m_pInstance;
        ISDBtFactoryDataManager::m_pInstance = nullptr;
        // The store's own seam for its flush: nothing to make durable here.
        ISDBtFactoryDataManager::getInstance()->setDiskSync([] {});
    }
    return 0;
}
