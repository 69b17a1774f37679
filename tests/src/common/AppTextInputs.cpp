#include "AppTextInputs.h"

#include "AppStartup.h"
#include "ISDBtUtil.h"
#include "SaveLogHandler.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Keeps the first broken invariant of an input.
struct Checker {
    AppTextOutcome& out;
    void operator()(bool ok, const char* what)
    {
        if (!ok && out.broken.empty())
            out.broken = what;
    }
};

}  // namespace

std::vector<std::string> appTextSeeds()
{
    return {
        std::string("\x00prog\x00--ID=7", 12),
        std::string("\x00--id=a=b\x00--ID=", 15),
        std::string("\x01" "998"),
        std::string("\x01" "-5"),
        std::string("\x01"),
        std::string("\x02" "0a ff  10 zz 123456789"),
        std::string("\x02" "zz"),
        std::string("\x03\x0d\x00\x00\x00", 5),
        std::string("\x03\x52\xb0\x00\x00", 5),
        std::string("\x03\xff\xff\xff\x7f", 5),
        std::string("\x03\x00\x00\x00\x80", 5),
    };
}

void feedAppTextInput(const uint8_t* data, size_t size)
{
    const AppTextOutcome out = checkAppTextInput(data, size);
    if (!out.broken.empty()) {
        fprintf(stderr, "invariant broken: %s\n", out.broken.c_str());
        abort();
    }
}

AppTextOutcome checkAppTextInput(const uint8_t* data, size_t size)
{
    AppTextOutcome out;
    if (size == 0)
        return out;
    Checker check{out};
    const uint8_t selector = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    out.kind = selector % 4;

    switch (out.kind) {
    case 0: {
        // Arguments separated by zero bytes.
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\0') {
                args.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int argc = static_cast<int>(args.size());
        const int id = GetAppID(argc, argv.data());
        // The first argument naming the id decides; none means -1. A plain
        // small number after "=" is the id itself.
        const std::string* named = nullptr;
        for (const std::string& a : args) {
            const QString upper = QString::fromLocal8Bit(a.c_str()).toUpper();
            if (upper.contains(QLatin1String("--ID="))) {
                named = &a;
                break;
            }
        }
        check(named != nullptr || id == -1, "-1 when no id is named");
        if (named != nullptr) {
            const size_t eq = named->find('=');
            const std::string value = named->substr(eq + 1);
            const bool plain = !value.empty() && value.size() <= 9 &&
                               value.find_first_not_of("0123456789") == std::string::npos;
            if (plain)
                check(id == std::stoi(value), "a plain number after '=' is the id");
        }
        out.taken = named != nullptr;
        break;
    }
    case 1: {
        // Whatever the index file holds, the next log file number is valid.
        FILE* f = fopen(SaveLogHandler::indexFilePath().c_str(), "w");
        check(f != nullptr, "index file writable");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        SaveLogHandler log;
        log.init();
        check(log.logFileIndex() >= 0 && log.logFileIndex() < SaveLogHandler::kMaxFiles, "index in 0..999");
        // The index in use is what the next start reads back.
        char stored[16] = {0};
        FILE* back = fopen(SaveLogHandler::indexFilePath().c_str(), "r");
        check(back != nullptr, "index file rewritten");
        if (back != nullptr) {
            const size_t n = fread(stored, 1, sizeof stored - 1, back);
            stored[n] = '\0';
            fclose(back);
        }
        check(std::string(stored) == std::to_string(log.logFileIndex()), "index file holds the index in use");
        out.taken = log.logFileIndex() != 0;
        break;
    }
    case 2: {
        const QString hex = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
        const QByteArray bytes = sutil::GetDataFromString(hex);
        check(bytes.size() <= hex.split(' ', Qt::SkipEmptyParts).size(), "one byte per part");
        out.taken = !bytes.isEmpty();
        std::vector<std::string> pieces;
        sutil::tokenize(text, pieces, " /");
        for (const std::string& p : pieces)
            check(!p.empty() && p.find_first_of(" /") == std::string::npos, "pieces without delimiters");
        break;
    }
    default: {
        int value = 0;
        memcpy(&value, text.data(), text.size() < sizeof value ? text.size() : sizeof value);
        const QString date = sutil::GetDateString(value);
        check(date.contains('/'), "date text has its slash");
        sutil::makeLanguageText(value);
        const QString area = sutil::GetLocalName(value);
        check(area.isEmpty() || (value >= 1 && value <= 62), "areas only for 1..62");
        char buf[8];
        sutil::CopyStringToBuf(buf, static_cast<int>(1 + selector % sizeof buf), QString::fromUtf8(text.c_str()));
        check(strlen(buf) < sizeof buf, "copied text terminated");
        out.taken = !area.isEmpty();
        break;
    }
    }
    return out;
}
