#include "ISDBtUtil.h"

#include "DevRoot.h"
#include "KelpAppLog.h"

#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <climits>
#include <cstring>
#include <ctime>

namespace {

// Weekday texts by w = (MJD + 2) mod 7, Monday first. Friday is the CJK
// compatibility ideograph U+F90A, which the receivers' fonts carry; it is
// spelled as bytes so that no editor or tool can normalise it away.
const char* const kWeekdays[7] = {
    "(月)", "(火)", "(水)", "(木)", "(\xEF\xA4\x8A)", "(土)", "(日)",
};

constexpr int packLetters(const char (&s)[4])
{
    return (s[0] << 16) | (s[1] << 8) | s[2];
}

struct Language {
    int code;
    const char* text;
};

const Language kLanguages[] = {
    {packLetters("jpn"), "日本語"},   {packLetters("eng"), "英語"},       {packLetters("deu"), "ドイツ語"},
    {packLetters("fra"), "フランス語"}, {packLetters("ita"), "イタリア語"}, {packLetters("rus"), "ロシア語"},
    {packLetters("zho"), "中国語"},   {packLetters("kor"), "韓国語"},     {packLetters("spa"), "スペイン語"},
};

// Broadcast areas 1..62 (index 0 is area 1).
const char* const kAreas[62] = {
    "関東広域", "近畿広域", "中京広域", "北海道", "岡山、香川", "島根、鳥取", "", "", "",
    "北海道（札幌）", "北海道（函館）", "北海道（旭川）", "北海道（帯広）", "北海道（釧路）",
    "北海道（北見）", "北海道（室蘭）", "宮城", "秋田", "山形", "岩手", "福島", "青森", "東京",
    "神奈川", "群馬", "茨城", "千葉", "栃木", "埼玉", "長野", "新潟", "山梨", "愛知", "石川",
    "静岡", "福井", "富山", "三重", "岐阜", "大阪", "京都", "兵庫", "和歌山", "奈良", "滋賀",
    "広島", "岡山", "島根", "鳥取", "山口", "愛媛", "香川", "徳島", "高知", "福岡", "熊本",
    "長崎", "鹿児島", "宮崎", "大分", "佐賀", "沖縄",
};

}  // namespace

int sutil::RunCmd(const char* cmd, int* exitStatus)
{
    if (exitStatus)
        *exitStatus = -1;
    if (!cmd) {
        LOG_H("[%s] command is null", __func__);
        return 0;
    }
    LOG_I("[%s] %s", __func__, cmd);
    int status = 0;
    int spawnError = 0;
    if (!devroot::runShell(cmd, &status, &spawnError)) {
        if (spawnError != 0)
            LOG_H("[%s] posix_spawn: %s", __func__, strerror(spawnError));
        else
            LOG_H("[%s] waitpid match any process", __func__);
        return 0;
    }
    if (exitStatus && WIFEXITED(status))
        *exitStatus = WEXITSTATUS(status);
    return 1;
}

std::string sutil::ShellArg(const std::string& text)
{
    bool plain = !text.empty();
    for (unsigned char c : text) {
        if (!(isalnum(c) || strchr("/._-+:=,@%", c))) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted;
}

int sutil::FileExists(const char* path)
{
    return path && access(path, F_OK) == 0 ? 1 : 0;
}

int sutil::DirectoryExists(const char* path)
{
    if (!path)
        return 0;
    DIR* dir = opendir(path);
    if (!dir)
        return 0;
    closedir(dir);
    return 1;
}

int sutil::AccessFile(const char* path)
{
    if (!path)
        return 0;
    FILE* f = fopen(path, "a+");
    if (!f)
        return 0;
    fclose(f);
    return 1;
}

long sutil::GetFileSize(const char* path)
{
    if (!path)
        return -1;
    FILE* f = fopen(path, "rb");
    if (!f)
        return -1;
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        size = ftell(f);
    fclose(f);
    return size;
}

int sutil::WriteFile(char* buf, int size, const char* path, const char* mode, int offset)
{
    if (!buf || size < 0 || !path || !mode)
        return 0;
    FILE* f = fopen(path, mode);
    if (!f)
        return 0;
    if (offset > 0 && fseek(f, offset, SEEK_SET) != 0) {
        fclose(f);
        return 0;
    }
    const size_t written = fwrite(buf, 1, static_cast<size_t>(size), f);
    bool ok = written == static_cast<size_t>(size);
    if (ok)
        ok = fflush(f) == 0;
    // A write that only fails when the buffer reaches the disk shows at close.
    if (fclose(f) != 0)
        ok = false;
    return ok ? 1 : 0;
}

int sutil::ReadFile(char* buf, int size, const char* path, const char* mode, int offset)
{
    if (!buf || size <= 0 || !path || !mode)
        return 0;
    FILE* f = fopen(path, mode);
    if (!f)
        return 0;
    if (offset > 0 && fseek(f, offset, SEEK_SET) != 0) {
        fclose(f);
        return 0;
    }
    const size_t got = fread(buf, 1, static_cast<size_t>(size), f);
    fclose(f);
    return got > 0 ? 1 : 0;
}

int sutil::RemoveAllFilesDirPath(std::string dir)
{
    LOG_I("[%s] Remove(%s) Start", __func__, dir.c_str());
    if (!DirectoryExists(dir.c_str())) {
        LOG_I("[%s] Directory is not exist", __func__);
        return 0;
    }
    if (dir.back() != '/')
        dir += "/";
    // Only the directory is quoted: the asterisk must stay a shell pattern.
    const std::string cmd = "rm -rf " + ShellArg(dir) + "*";
    if (RunCmd(cmd.c_str())) {
        LOG_I("[%s] Remove runCmd Success", __func__);
        return 1;
    }
    LOG_H("[%s] Remove runCmd Fail (cmd : %s)", __func__, cmd.c_str());
    return 0;
}

void sutil::CheckDirectory(std::string path)
{
    LOG_I("[%s] checkDirectory(%s)", __func__, path.c_str());
    if (path.empty())
        return;
    std::vector<std::string> pieces;
    tokenize(path, pieces, "/");
    std::string partial = path.front() == '/' ? "/" : "";
    for (const std::string& piece : pieces) {
        partial += piece;
        if (!DirectoryExists(partial.c_str()) && mkdir(partial.c_str(), 0775) != 0)
            LOG_H("[%s] mkdir (%s) Fail", __func__, partial.c_str());
        partial += "/";
    }
}

void sutil::tokenize(const std::string& text, std::vector<std::string>& out, const std::string& delims)
{
    std::string::size_type start = text.find_first_not_of(delims);
    while (start != std::string::npos) {
        const std::string::size_type end = text.find_first_of(delims, start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(delims, end);
    }
}

QString sutil::GetDateString(int mjd)
{
    // Integer form of the usual MJD to calendar conversion; 64-bit
    // intermediates so that no MJD a descriptor can carry overflows.
    const int64_t m = mjd;
    const int64_t yp = (100 * m - 1507820) / 36525;
    const int64_t yd = (yp * 3652500) / 10000;
    const int64_t mp = (10000 * m - 149561000 - 10000 * yd) / 306001;
    const int64_t day = m - 14956 - yd - (mp * 306001) / 10000;
    const int64_t month = (mp == 14 || mp == 15) ? mp - 1 - 12 : mp - 1;

    QString text = QString("%1/%2").arg(month).arg(day);
    const int64_t w = (m + 2) % 7;
    if (w >= 0)
        text += QString::fromUtf8(kWeekdays[w]);
    return text;
}

QString sutil::makeLanguageText(int code)
{
    for (const Language& l : kLanguages) {
        if (l.code == code)
            return QString::fromUtf8(l.text);
    }
    return QString("");
}

QString sutil::GetLocalName(int area)
{
    if (area < 1 || area > 62)
        return QString("");
    return QString::fromUtf8(kAreas[area - 1]);
}

QString sutil::makeLogoName(QString dir, int n)
{
    if (dir.isEmpty() || n < 0)
        return QString("");
    return dir + "channel_" + QString::number(n) + ".png";
}

int sutil::SaturateToInt(int64_t value)
{
    return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void sutil::CopyStringToBuf(char* dst, int size, QString text)
{
    if (!dst || size < 1)
        return;
    const QByteArray bytes = text.toLocal8Bit();
    int n = size - 1;
    if (n > text.length())
        n = text.length();
    if (n > bytes.size())
        n = bytes.size();
    memcpy(dst, bytes.constData(), static_cast<size_t>(n));
    dst[n] = '\0';
}

char* sutil::GetUtcTimeStamp()
{
    static char buf[100];
    const time_t now = time(nullptr);
    struct tm tmUtc;
    gmtime_r(&now, &tmUtc);
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %Z", &tmUtc);
    return buf;
}

int64_t sutil::GetSystemTime()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    // 32-bit arithmetic, wrapping as the callers of this reading expect.
    const uint32_t ms = static_cast<uint32_t>(tv.tv_sec) * 1000u + static_cast<uint32_t>(tv.tv_usec / 1000);
    return static_cast<int64_t>(static_cast<int32_t>(ms));
}

int sutil::SaveBinaryToFile(std::vector<char> data, const char* path)
{
    if (!path || !*path || data.empty()) {
        LOG_H("[%s] error: file path is null or invalid size", __func__);
        return 0;
    }
    FILE* f = fopen(path, "wb");
    if (!f) {
        LOG_H("[%s] error: can't open file (path: %s)", __func__, path);
        return 0;
    }
    const size_t written = fwrite(data.data(), 1, data.size(), f);
    const bool closed = fclose(f) == 0;
    return written == data.size() && closed ? 1 : 0;
}

void sutil::DumpRawData(char* data, int len, int direction)
{
    const char* dir = direction == 1 ? "Read" : direction == 2 ? "Write" : "";
    std::string hex;
    if (data && len > 0) {
        hex.reserve(static_cast<size_t>(len) * 3);
        char byte[4];
        for (int i = 0; i < len; ++i) {
            snprintf(byte, sizeof byte, i ? " %02x" : "%02x", static_cast<unsigned char>(data[i]));
            hex += byte;
        }
    }
    LOG_V("[%s] [%s(%d)] [ %s ]", __func__, dir, len, hex.c_str());
}

QByteArray sutil::GetDataFromString(QString text)
{
    QByteArray out;
    const QStringList parts = text.split(" ", Qt::SkipEmptyParts);
    for (const QString& part : parts)
        out.append(static_cast<char>(part.toUInt(nullptr, 16)));
    return out;
}
