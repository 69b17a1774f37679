#include "script_notation.h"

#include <cstdio>
#include <sstream>

namespace {

std::string hex(unsigned v)
{
    char b[4];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

} // namespace

std::vector<std::string> expandScript(const std::vector<std::string>& groups)
{
    std::vector<std::string> out;
    for (const std::string& group : groups) {
        std::istringstream in(group);
        std::string target;
        in >> target;
        int path = 0;
        if (target.size() == 5 && target[0] == 'P' && target[2] == ':') {
            path = target[1] - '0';
            target = target.substr(3);
        }
        const bool behindGateway = target == "CC" || target == "C8";
        if (!behindGateway && target != "30" && target != "C4") {
            out.push_back(group);
            continue;
        }
        const std::string bus = target == "C4" ? "62" : "18";
        const std::string prefix =
            behindGateway ? "W 18: " + hex(8 + path) + " " + target + " " : "W " + bus + ": ";
        std::string token;
        while (in >> token) {
            if (token[0] == '@') {
                out.push_back("SLEEP " + token.substr(1));
            } else if (token[0] == '?') {
                std::string reg = token.substr(1, 2);
                std::string count = token.size() > 3 ? token.substr(4) : "1";
                if (behindGateway) {
                    out.push_back(prefix + reg);
                    out.push_back("RD 18: " + hex(8 + path) + " CD #" + count);
                } else {
                    out.push_back("RD " + bus + ": " + reg + " #" + count);
                }
            } else {
                std::string line = prefix + token.substr(0, 2);
                std::istringstream values(token.substr(3));
                std::string v;
                while (std::getline(values, v, ','))
                    line += " " + v;
                out.push_back(line);
            }
        }
    }
    return out;
}

std::vector<std::string> programmingGroups(int path, int n)
{
    static const int offset[4] = {170, 230, 190, 130};
    const unsigned f = 473143 + 6000 * n + offset[path];
    const std::string p = "P" + std::to_string(path) + ":";
    return {"30 FF=02 80=E4 FF=03", p + "C8 00=00 10=01",
            p + "CC 00=10 E7=00,00,0E,00,03 E7=1F,80,18,00,07 @1000 00=10 58=" + hex(f >> 16) +
                "," + hex(f >> 8) + "," + hex(f) + ",FF,FE @10000",
            p + "C8 00=00 10=00"};
}
