#pragma once
// Shell, file, date and text helpers of the application (static functions
// only, no state).
//
// File functions use the path they are given: callers turn board paths into
// the paths of this machine with devroot::path() first. Unless a comment says
// otherwise, results are 1 for success and 0 for failure.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class sutil {
public:
    // Runs `cmd` with "/bin/sh -c" and an empty environment (through the one
    // runner of devroot) and waits for it. 1 when the shell was started and
    // reaped, whatever the command's own outcome; callers that need that
    // outcome pass `exitStatus`, which receives the command's exit code, or -1
    // when it did not exit normally.
    static int RunCmd(const char* cmd, int* exitStatus = nullptr);

    // `text` as one shell word: unchanged when it holds only characters that
    // are plain in the shell, otherwise in single quotes.
    static std::string ShellArg(const std::string& text);

    static int FileExists(const char* path);
    static int DirectoryExists(const char* path);
    // The file can be opened for appending (it is created when missing).
    static int AccessFile(const char* path);
    // Size in bytes, -1 when the file cannot be opened or sought.
    static long GetFileSize(const char* path);
    // Opens `path` with the fopen `mode`, seeks to `offset` when it is above
    // 0 and writes `size` bytes: 1 only when every byte was written.
    static int WriteFile(char* buf, int size, const char* path, const char* mode, int offset);
    // As WriteFile, reading up to `size` bytes: 1 when at least one was read.
    static int ReadFile(char* buf, int size, const char* path, const char* mode, int offset);
    // Removes every entry of `dir` except names beginning with ".".
    static int RemoveAllFilesDirPath(std::string dir);
    // Creates every missing directory of `path` (mode 0775).
    static void CheckDirectory(std::string path);
    // Appends to `out` every non-empty run of characters not in `delims`.
    static void tokenize(const std::string& text, std::vector<std::string>& out, const std::string& delims);

    // "month/day(weekday)" of a broadcast date given as a Modified Julian Date.
    static QString GetDateString(int mjd);
    // Japanese name of an ISO 639-2 language code packed in the low 24 bits
    // (first letter highest), "" when unknown.
    static QString makeLanguageText(int code);
    // Japanese name of broadcast area 1..62, "" otherwise.
    static QString GetLocalName(int area);
    // dir + "channel_<n>.png"; "" when dir is empty or n is negative. No
    // separator is added.
    static QString makeLogoName(QString dir, int n);

    // Local 8-bit form of `text` into `dst`, at most size - 1 bytes and never
    // more than the text's length, zero-terminated.
    static void CopyStringToBuf(char* dst, int size, QString text);
    // `value` brought into the range of an int: a product of stored numbers
    // (milliseconds of a time in seconds, days between two dates) that an
    // int cannot hold becomes its nearest end instead of wrapping.
    static int SaturateToInt(int64_t value);
    // Current UTC time as "%Y-%m-%d %H:%M:%S %Z" in a shared static buffer.
    static char* GetUtcTimeStamp();
    // Wall-clock milliseconds, wrapped to 32 bits.
    static int64_t GetSystemTime();
    static int SaveBinaryToFile(std::vector<char> data, const char* path);
    // Logs `data` as hexadecimal bytes; direction 1 "Read", 2 "Write".
    static void DumpRawData(char* data, int len, int direction);
    // Bytes of a text of blank-separated hexadecimal numbers.
    static QByteArray GetDataFromString(QString text);
};
