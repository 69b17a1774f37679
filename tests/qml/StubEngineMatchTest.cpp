// The QML tests' stand-in engine (stubs/StubEngine.qml) against the real
// engine's meta-object: every signal, property and method the stand-in offers
// the screens must exist on the real engine, or a screen could pass its tests
// on something the program does not have.

#include "ISDBtAppEngine.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace {

// What the stand-in has for the tests themselves (the call record and the
// canned results), not for the screens.
const QSet<QByteArray> kTestControls = {"calls",   "results", "screenStack", "mainState", "reset",
                                        "record",  "callsOf", "countOf",     "result",    "setEngThreshold"};

// A method the screens can call on `real`: public invokables and slots, by
// name and, when `params` >= 0, with that many arguments (a default argument
// gives a form with fewer).
bool realHasCallable(const QMetaObject* real, const QByteArray& name, int params)
{
    for (int i = 0; i < real->methodCount(); ++i) {
        const QMetaMethod m = real->method(i);
        if (m.name() != name || m.access() != QMetaMethod::Public)
            continue;
        if (m.methodType() != QMetaMethod::Method && m.methodType() != QMetaMethod::Slot)
            continue;
        if (params < 0 || m.parameterCount() == params)
            return true;
    }
    return false;
}

// What `stub` offers beyond QObject that `real` does not have, one line each.
QStringList extraOfferings(const QMetaObject* stub, const QMetaObject* real)
{
    QStringList out;
    QSet<int> notifySignals;
    for (int i = QObject::staticMetaObject.propertyCount(); i < stub->propertyCount(); ++i) {
        const QMetaProperty p = stub->property(i);
        if (p.hasNotifySignal())
            notifySignals.insert(p.notifySignalIndex());
        if (kTestControls.contains(p.name()))
            continue;
        const int at = real->indexOfProperty(p.name());
        if (at < 0)
            out << QStringLiteral("property %1").arg(QString::fromLatin1(p.name()));
        else if (qstrcmp(real->property(at).typeName(), p.typeName()) != 0)
            out << QStringLiteral("property %1 of type %2 (the engine's: %3)")
                       .arg(QString::fromLatin1(p.name()), QString::fromLatin1(p.typeName()),
                            QString::fromLatin1(real->property(at).typeName()));
    }
    for (int i = QObject::staticMetaObject.methodCount(); i < stub->methodCount(); ++i) {
        const QMetaMethod m = stub->method(i);
        if (kTestControls.contains(m.name()))
            continue;
        if (m.methodType() == QMetaMethod::Signal) {
            if (notifySignals.contains(i))
                continue;
            const int at = real->indexOfSignal(m.methodSignature().constData());
            if (at < 0 || real->method(at).methodType() != QMetaMethod::Signal)
                out << QStringLiteral("signal %1").arg(QString::fromLatin1(m.methodSignature()));
            continue;
        }
        // A stand-in function without parameters takes any (it records its
        // `arguments`); one with parameters must match a form of the engine's.
        const int params = m.parameterCount() > 0 ? m.parameterCount() : -1;
        if (!realHasCallable(real, m.name(), params))
            out << QStringLiteral("method %1").arg(QString::fromLatin1(m.methodSignature()));
    }
    return out;
}

struct Loaded {
    std::unique_ptr<QQmlEngine> engine = std::make_unique<QQmlEngine>();
    std::unique_ptr<QObject> object;
};

Loaded load(const QUrl& url, const QByteArray& text = QByteArray())
{
    Loaded l;
    QQmlComponent component(l.engine.get());
    if (text.isEmpty())
        component.loadUrl(url);
    else
        component.setData(text, url);
    l.object.reset(component.create());
    EXPECT_NE(l.object, nullptr) << component.errorString().toStdString();
    return l;
}

TEST(StubEngine, OffersNothingTheEngineLacks)
{
    const Loaded stub = load(QUrl::fromLocalFile(QStringLiteral(HOLVIK_QML_TEST_DIR "/stubs/StubEngine.qml")));
    ASSERT_NE(stub.object, nullptr);
    const QStringList extra = extraOfferings(stub.object->metaObject(), &ISDBtAppEngine::staticMetaObject);
    EXPECT_TRUE(extra.isEmpty()) << "the stand-in engine offers what the engine lacks:\n  "
                                 << extra.join(QStringLiteral("\n  ")).toStdString();
}

// The comparison itself, on small stand-ins: each offering the engine lacks
// is named once; what the engine has, and the test controls, pass.
TEST(StubEngine, ComparisonNamesEachOfferingTheEngineLacks)
{
    struct Case {
        const char* body;
        const char* finding;  // empty: nothing to report
    } cases[] = {
        {"signal sendPowerOff()\n property int nOzbState: 3\n function execPower() {}\n"
         "function execChangeChannel(a, b) {}\n function execScan() {}\n property var calls: []",
         ""},
        {"signal sendSignalWeak()", ""},  // the engine's form without argument
        {"signal sendBogus()", "signal sendBogus()"},
        {"signal sendSignalWeak(int level)", "signal sendSignalWeak(int)"},
        {"property int nBogus: 0", "property nBogus"},
        {"property string nOzbState: \"3\"", "property nOzbState of type QString (the engine's: int)"},
        {"function execBogus() {}", "method execBogus()"},
        {"function execPower(a, b, c) {}", "method execPower(QVariant,QVariant,QVariant)"},
    };
    for (const Case& c : cases) {
        const QByteArray text = QByteArray("import QtQuick 2.6\nQtObject {\n") + c.body + "\n}\n";
        const Loaded stub = load(QUrl(QStringLiteral("qrc:/stub-case.qml")), text);
        ASSERT_NE(stub.object, nullptr) << c.body;
        const QStringList extra = extraOfferings(stub.object->metaObject(), &ISDBtAppEngine::staticMetaObject);
        const QStringList expected = *c.finding ? QStringList{QString::fromLatin1(c.finding)} : QStringList{};
        EXPECT_EQ(extra, expected) << c.body;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    static int appArgc = argc;
    new QGuiApplication(appArgc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
