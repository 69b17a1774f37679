#pragma once
// Base of the application engine: the side that faces the launcher process.
// It keeps the application ID the launcher addresses us by and reaches the
// engine through pure virtual operations.

#include <QObject>
#include <QString>

class AppEngineIF : public QObject
{
    Q_OBJECT

public:
    explicit AppEngineIF(QObject* parent = nullptr);
    ~AppEngineIF() override;

    // Called once, at the end of the engine's constructor.
    void initAppEngineIF(int appId);

    int appId() const { return m_nAppId; }

    // The engine's log hook: a highlighted line stands out in the console.
    virtual void AppDebug(QString message, bool highlight) = 0;

protected:
    int m_nAppId = -1;
};
