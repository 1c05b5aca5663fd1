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
};

QTEST_MAIN(FormStorageTest)

#include "form_storage_test.moc"
