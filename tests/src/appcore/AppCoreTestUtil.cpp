#include "AppCoreTestUtil.h"

#include <fstream>

namespace appcore_test {

std::optional<std::string> iniValue(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        if (!section.empty() && section != "[General]")
            continue;
        const std::string prefix = key + "=";
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
    }
    return std::nullopt;
}

int countOf(const std::vector<std::string>& lines, const std::string& command)
{
    int n = 0;
    for (const std::string& l : lines)
        n += l == command ? 1 : 0;
    return n;
}

void claimSingletons()
{
    static bool claimed = false;
    ASSERT_FALSE(claimed) << "this test needs a process of its own (run it through ctest)";
    claimed = true;
}

}  // namespace appcore_test
