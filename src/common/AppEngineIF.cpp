#include "AppEngineIF.h"

AppEngineIF::AppEngineIF(QObject* parent)
    : QObject(parent)
{
}

AppEngineIF::~AppEngineIF() = default;

void AppEngineIF::initAppEngineIF(int appId)
{
    AppDebug(QStringLiteral("[%1]").arg(QStringLiteral("initAppEngineIF")), false);
    m_nAppId = appId;
}
