// StoredProps against the components a plain window owns: entries that name no component are
// dropped, names are trimmed and properties matched without regard to case, and an entry whose
// component is destroyed goes with it.

#include "settings/form_storage.h"

#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class FormStorageTest : public QObject {
    Q_OBJECT

private slots:
    void storedPropsFollowTheWindowsComponents() {
        QTemporaryDir dir;
        QWidget window;
        auto* first = new QObject(&window);
        first->setObjectName(QStringLiteral("first"));
        auto* second = new QObject(&window);
        second->setObjectName(QStringLiteral("second"));
        int values[] = {7, 8};
        auto* storage = new settings::TFormStorage(&window);
        storage->SetIniFileName(dir.filePath(QStringLiteral("plain.ini")));
        storage->SetIniSection(QStringLiteral("Window"));
        for (int i : {0, 1})
            storage->Publish(i == 0 ? first : second,
                             settings::IntegerProperty(
                                 QStringLiteral("Count"), [&values, i] { return values[i]; },
                                 [&values, i](int value) { values[i] = value; }));
        storage->SetStoredProps({QStringLiteral(" second . count "), QStringLiteral("nodot"),
                                 QStringLiteral("first.Count"), QStringLiteral(".Count"),
                                 QStringLiteral("first."), QStringLiteral("missing.Count"),
                                 QStringLiteral("first.Other")});
        storage->Loaded();
        QCOMPARE(storage->StoredProps(),
                 (QStringList{QStringLiteral(" second . count "), QStringLiteral("first.Count"),
                              QStringLiteral("first.Other")}));

        window.show();
        storage->SaveFormPlacement();
        QFile file(storage->IniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith("Visible=0\nsecond_Count=8\nfirst_Count=7\n"));
        file.close();

        delete second;
        QCOMPARE(storage->StoredProps(),
                 (QStringList{QStringLiteral("first.Count"), QStringLiteral("first.Other")}));
        values[0] = 9;
        storage->SaveFormPlacement();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith("Visible=0\nsecond_Count=8\nfirst_Count=9\n"));
    }

    // A settings file of a 250-byte name, as a program of a long name gets, leaves no room for a
    // longer temporary name beside it: saved and read back all the same, nothing else left.
    void longFileNameSaves() {
        QTemporaryDir dir;
        const QString name = QString(123, QChar(0x0436)) + QStringLiteral(".INI");
        QCOMPARE(name.toUtf8().size(), 250);
        int value = 0;
        // Saved once as 5, then read back and saved over as 6.
        for (const int saved : {5, 6}) {
            QWidget window;
            auto* component = new QObject(&window);
            component->setObjectName(QStringLiteral("component"));
            auto* storage = new settings::TFormStorage(&window);
            storage->SetIniFileName(dir.filePath(name));
            storage->SetIniSection(QStringLiteral("Window"));
            storage->Publish(component, settings::IntegerProperty(
                                            QStringLiteral("Count"), [&value] { return value; },
                                            [&value](int v) { value = v; }));
            storage->SetStoredProps({QStringLiteral("component.Count")});
            storage->Loaded();
            value = 0;
            storage->RestoreFormPlacement();
            QCOMPARE(value, saved == 5 ? 0 : 5);
            value = saved;
            storage->SaveFormPlacement();
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        }
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith("component_Count=6\n"));
    }
};

QTEST_MAIN(FormStorageTest)

#include "form_storage_test.moc"
