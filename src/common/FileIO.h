#pragma once
// Whole-file text access and a forced restart for QML ("ISDBtFileIO").

#include <QObject>
#include <QString>

class FileIO : public QObject
{
    Q_OBJECT

public:
    explicit FileIO(QObject* parent = nullptr);

public slots:
    // Replaces the file's content with `data`; false when the file cannot be
    // opened or the text does not reach it completely (a full disk included).
    bool write(const QString& source, const QString& data);
    // The whole file as text; "" when it is missing, unreadable or empty.
    QString read(const QString& source);
    // Flushes the disks and restarts the box at once.
    void reboot();
};
