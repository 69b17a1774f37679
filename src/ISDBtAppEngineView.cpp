// The engine's QML view support: the shared colour, image and system tables
// that every screen reads, created from the program's resources, and the key
// focus of the view.

#include "ISDBtAppEngine.h"

#include "KelpAppLog.h"

#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

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

void ISDBtAppEngine::focusView()
{
    if (m_pView == nullptr || m_pView->activeFocusItem() != nullptr)
        return;
    QQuickItem* content = m_pView->contentItem();
    if (content == nullptr)
        return;
    // The root's own focus calls run while it is created, before it has a
    // window, and a window system gives the content the focus only when it
    // activates the window. Within the content every focus scope keeps its
    // focused child, so the keys go where the screens last put the focus.
    LOG_I("[%s] no item has the key focus: the view's content takes it", __func__);
    content->forceActiveFocus(Qt::ActiveWindowFocusReason);
}
