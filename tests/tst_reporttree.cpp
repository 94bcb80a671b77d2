// The report tree's two readers: whatever the quick reader takes, it reads into exactly the tree Qt's
// reader makes; it takes the reports consoles send, and leaves everything else to Qt's reader.

#include "report/reportdocument.h"
#include "report/reporttree.h"
#include "reportgenerator.h"
#include "reportstore.h"
#include "samplereports.h"

#include <QtTest>

class TestReportTree : public QObject
{
    Q_OBJECT

    // Both readers on one text: the quick one takes it or not as expected, and gives the full
    // reader's tree when it does.
    static void compareReaders(const QString& xml, bool quick)
    {
        ReportTree full;
        ReportTree quickTree;
        const bool fullRead = full.buildFully(xml, 256);
        QCOMPARE(quickTree.buildQuickly(xml, 256), quick);
        if (quick) {
            QVERIFY(fullRead);
            QVERIFY(quickTree == full);
        }
        // The same text as the console's UTF-8: the same answer, and the same tree.
        const QByteArray utf8 = xml.toUtf8();
        if (QString::fromUtf8(utf8) != xml)
            return; // not text that UTF-8 can carry (a lone surrogate)
        ReportTree fromBytes;
        QCOMPARE(fromBytes.buildQuickly(utf8, 256), quick);
        if (quick)
            QVERIFY(fromBytes == full);
    }

private slots:
    void readersAgree_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<bool>("quick");
        const auto row = [](const QByteArray& name, const QString& xml, bool quick) {
            QTest::newRow(name.constData()) << xml << quick;
        };
        row("sample report", QString::fromUtf8(TestSupport::sampleReport()), true);
        row("references",
            QString::fromUtf8("<root><a t=\"&lt;&amp;&quot;&apos;&gt;&#65;&#x42;\">x&lt;y&#233;&#x1F600;"
                              "\xc3\xa9\xf0\x9f\x98\x80\xee\x80\x80</a></root>"),
            true);
        row("text, CDATA, comments and instructions",
            "<root><a>1<![CDATA[<b>]]>2<!-- c -->3<?p  data ?>4<![CDATA[]]>5<?q?></a> \n <b/></root>", true);
        row("around the document element", "<!-- a -->\n<?p x?>\n<root/>\n<!-- b -->\n", true);
        row("attributes and entries",
            "<root><e name=\"n\" a='x>y' b = \"2\"/><entries name=\"s\"><entry name=\"e\">v</entry>"
            "<entry name=\"\"/></entries></root>",
            true);
        // Two names that hash alike where the reader remembers names: each keeps its own.
        row("names that hash alike", "<root><Aa BB=\"1\"/><BB Aa=\"2\"/><Aa/></root>", true);
        row("usual declaration", "<?xml version='1.0' encoding='utf-8' ?>\n<root>x</root>", true);
        // Left to Qt's reader: well-formed but beyond the quick reader, then not well-formed.
        row("namespace prefix", "<root xmlns:x=\"urn:x\"><x:a x:b=\"1\"/></root>", false);
        row("default namespace", "<root xmlns=\"urn:x\"/>", false);
        row("document type", "<!DOCTYPE root [<!ENTITY e \"x\">]><root>&e;</root>", false);
        row("carriage return", "<root>a\r\nb</root>", false);
        row("tab in a value", "<root a=\"x\ty\"/>", false);
        row("control character reference", "<root>&#9;</root>", false);
        row("other version", "<?xml version=\"1.1\"?><root/>", false);
        row("unknown entity", "<root>&nbsp;</root>", false);
        row("end tag of another element", "<root><a></b></root>", false);
        row("unclosed", "<root><a>", false);
        row("attribute twice", "<root a=\"1\" a=\"2\"/>", false);
        row("attributes run together", "<root a=\"1\"b=\"2\"/>", false);
        row("CDATA end in text", "<root>]]></root>", false);
        row("double hyphen in a comment", "<root><!-- a -- b --></root>", false);
        row("text before the root", "x<root/>", false);
        row("two roots", "<root/><root/>", false);
        row("empty", "", false);
        row("too deep", QStringLiteral("<a>").repeated(300) + QStringLiteral("</a>").repeated(300), false);
        // Long runs are looked at several characters at a time: the same forms at every place in a run.
        for (int at = 0; at < 10; ++at) {
            const QString before = QString(at + 9, QLatin1Char('x'));
            const QString after = QString(12, QLatin1Char('y'));
            const auto inText = [&](const QString& part) {
                return "<root><a>" + before + part + after + "</a></root>";
            };
            const auto inValue = [&](const QString& part) {
                return "<root a=\"" + before + part + after + "\">" + before + "</root>";
            };
            const auto place = [at](const char* form) {
                return QByteArray(form) + " at " + QByteArray::number(at);
            };
            row(place("reference in text"), inText("&amp;"), true);
            row(place("tab and line feed in text"), inText("\t\n"), true);
            row(place("reference in a value"), inValue("&lt;"), true);
            row(place("CDATA end in text"), inText("]]>"), false);
            row(place("carriage return in text"), inText("\r"), false);
            row(place("line feed in a value"), inValue("\n"), false);
            row(place("tab in a value"), inValue("\t"), false);
            row(place("lone surrogate in text"), inText(QString(QChar(0xD800))), false);
        }
    }
    void readersAgree()
    {
        QFETCH(QString, xml);
        QFETCH(bool, quick);
        compareReaders(xml, quick);
    }

    // Bytes that are not the plain UTF-8 the quick reader takes are read as their decoded text is,
    // replacement characters and all.
    void bytesThatAreNotPlainUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readable");
        const QByteArray pad(20, 'x'); // past a block of sixteen, so the wide check meets it too
        const auto row = [&pad](const char* name, const QByteArray& part, bool readable = true) {
            QTest::newRow(name) << "<root>" + pad + part + pad + "</root>" << readable;
        };
        row("lone continuation byte", "\x80");
        row("overlong slash", "\xc0\xaf");
        row("overlong three bytes", "\xe0\x80\xaf");
        row("encoded surrogate", "\xed\xa0\x80");
        row("non-character", "\xef\xbf\xbe", false);
        row("beyond the last code point", "\xf4\x90\x80\x80");
        row("cut short", "\xe2\x82");
        row("Latin-1 text", "caf\xe9");
        row("control character", "\x01", false);
        QTest::newRow("cut short at the end") << QByteArray("<root/>\n\xf0\x9f") << false;
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf<root>x</root>") << true;
    }
    void bytesThatAreNotPlainUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        ReportTree quick;
        QVERIFY(!quick.buildQuickly(bytes, 256));
        ReportTree fromBytes;
        ReportTree fromText;
        QCOMPARE(fromBytes.build(bytes, 256), readable);
        QCOMPARE(fromText.build(QString::fromUtf8(bytes), 256), readable);
        QVERIFY(fromBytes == fromText);
    }

    // Text beyond ASCII among long plain runs: every form of UTF-8 character, at every place in a
    // block, in text, values, comments and names of sections.
    void wideCharactersAtEveryPlace()
    {
        const QByteArray characters[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xc2\x85",
                                         "\xee\x80\x80"};
        for (int at = 0; at < 17; ++at) {
            for (const QByteArray& c : characters) {
                const QByteArray run = QByteArray(at, 'a') + c + QByteArray(17, 'b') + c + c;
                const QByteArray xml = "<root><entries name=\"" + run + "\"><entry name=\"e\">" + run +
                                       "&amp;" + run + "</entry><!--" + run + "--></entries></root>";
                ReportTree full;
                QVERIFY(full.buildFully(QString::fromUtf8(xml), 256));
                ReportTree fromBytes;
                QVERIFY2(fromBytes.buildQuickly(xml, 256), xml.constData());
                QVERIFY2(fromBytes == full, xml.constData());
                QCOMPARE(fromBytes.query("/root/" + QString::fromUtf8(run) + "/e"),
                         QStringList{QString::fromUtf8(run + "&" + run)});
            }
        }
    }

    // The console's reports as the station receives them: phones, computers, issue reports, custom
    // fields, some padded to 150 kB with a station's process log.
    void consoleReportsAreReadQuickly()
    {
        ReportGenerator generator(11);
        QDateTime date(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
        for (int n = 0; n < 200; ++n) {
            generator.setMinimumSize(n % 10 == 0 ? 150 * 1024 : 0);
            const ReportGenerator::Report report = generator.next(date.addSecs(n * 60));
            ReportStore::Record record;
            QString error;
            QVERIFY2(ReportStore::parseReport(report.xml, std::nullopt, &record, &error), qPrintable(error));
            compareReaders("<root>" + record.xml + "</root>", true);
            // The device, from the tree, is the one a scan of the text finds.
            ReportDocument document;
            QVERIFY(document.parse(report.xml));
            const ReportIdentity scanned = ReportIdentity::scan(report.xml.toUtf8());
            const ReportIdentity read = document.identity();
            QCOMPARE(read.imei, scanned.imei);
            QCOMPARE(read.serial, scanned.serial);
            QCOMPARE(read.model, scanned.model);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("report %1").arg(n)));
        }
    }
};

QTEST_GUILESS_MAIN(TestReportTree)
#include "tst_reporttree.moc"
