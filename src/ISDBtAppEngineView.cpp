// The engine's QML view support: the shared colour, image and system tables
// that every screen reads, created from the program's resources.

#include "ISDBtAppEngine.h"

#include "KelpAppLog.h"

#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>

namespace {

struct SharedTable {
    const char* url;
    const char* name;
};

const SharedTable kSharedTables[] = {
    {"qrc:/Common/ColorInfo.qml", "colorInfo"},
    {"qrc:/Common/ImageInfo.qml", "imageInfo"},
    {"qrc:/Common/SystemInfo.qml", "systemInfo"},
};

}  // namespace

QObject* ISDBtAppEngine::createObject(QQmlEngine* engine, const QUrl& url)
{
    if (engine == nullptr)
        return nullptr;
    QQmlComponent component(engine, url);
    QObject* object = component.create();
    if (component.isError()) {
        for (const QQmlError& e : component.errors())
            LOG_I("[%s] createObject - error [%s][%d]", __func__, e.url().toString().toLocal8Bit().constData(),
                  e.line());
    }
    return object;
}

void ISDBtAppEngine::publishSharedTables()
{
    if (m_pRootContext == nullptr)
        return;
    for (const SharedTable& table : kSharedTables) {
        QObject* object = createObject(m_pEngine, QUrl(QString::fromLatin1(table.url)));
        // The tables live as long as the program, like the engine's other
        // published objects.
        if (object != nullptr)
            object->setParent(QCoreApplication::instance());
        m_pRootContext->setContextProperty(QString::fromLatin1(table.name), object);
    }
}
