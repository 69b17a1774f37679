#include "FileIO.h"

#include "ISDBtUtil.h"

#include <QFile>
#include <QTextStream>

FileIO::FileIO(QObject* parent)
    : QObject(parent)
{
}

bool FileIO::write(const QString& source, const QString& data)
{
    if (source.isEmpty())
        return false;
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << data;
    out.flush();
    // QFile buffers; the last bytes only meet the disk in flush() and close(),
    // so both outcomes decide the result.
    bool ok = out.status() == QTextStream::Ok && file.flush();
    file.close();
    if (file.error() != QFileDevice::NoError)
        ok = false;
    return ok;
}

QString FileIO::read(const QString& source)
{
    if (source.isEmpty())
        return QString();
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QTextStream in(&file);
    const QString text = in.readAll();
    file.close();
    return text;
}

void FileIO::reboot()
{
    sutil::RunCmd("sync; reboot -f");
}
