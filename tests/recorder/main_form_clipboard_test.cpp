// Copy puts the chart on the X clipboard in three forms, which another program reads back.

#include "support/recording_support.h"

#include <QAction>
#include <QProcess>
#include <QtTest>

class MainFormClipboardTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    // What xclip, a second process, reads from the clipboard; this process's event loop serves it.
    static QByteArray Paste(const QString& target) {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                     QStringLiteral("-t"), target, QStringLiteral("-o")});
        [&] { QTRY_VERIFY_WITH_TIMEOUT(xclip.state() == QProcess::NotRunning, 20000); }();
        return xclip.readAllStandardOutput();
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
    }
    void cleanup() { Form.reset(); }

    void copyOffersTheMetafilePngAndSvg() {
        auto* chart = Find<chart::TChart>("Chart");
        for (int i = 0; i <= 100; ++i)
            chart->Series(0)->AddPoint(i * 0.01, i / 10 % 2);
        Action("actCopy")->trigger();

        const QString targets = QString::fromLatin1(Paste(QStringLiteral("TARGETS")));
        for (const char* type : {"image/x-emf", "image/emf", "image/png", "image/svg+xml"})
            QVERIFY2(targets.contains(QLatin1String(type)), type);

        const QByteArray emf = Paste(QStringLiteral("image/x-emf"));
        QCOMPARE(emf.mid(40, 4), QByteArray(" EMF")); // the header record's signature
        QCOMPARE(emf, chart->MakeMetafile(true, chart->rect()));
        const QImage png = QImage::fromData(Paste(QStringLiteral("image/png")), "PNG");
        QCOMPARE(png.size(), chart->size());
        QVERIFY(Paste(QStringLiteral("image/svg+xml")).contains("<svg"));
    }
};

QTEST_MAIN(MainFormClipboardTest)
#include "main_form_clipboard_test.moc"
