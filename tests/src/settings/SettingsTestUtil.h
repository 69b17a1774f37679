#pragma once
// Helpers of the settings tests: what the settings file holds and what the
// broadcast engine stand-in was asked.

#include "BroadcastSim.h"
#include "EngineRig.h"

#include <QSettings>

#include <string>

namespace settings_test {

inline int storedValue(launcher_test::EngineRig& rig, const char* key)
{
    QSettings ini(QString::fromStdString(rig.root.path("/home/root/isdbt/settings.ini")), QSettings::IniFormat);
    return ini.value(key, -1).toInt();
}

inline int playerCalls(const std::string& exact)
{
    int n = 0;
    for (const std::string& c : bsim::calls())
        if (c == exact)
            ++n;
    return n;
}

}  // namespace settings_test
