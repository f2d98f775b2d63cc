// Tables read for "Add curve from file...": the result export, CSV with a header, and refusals.
#include "ResultColumns.h"
#include "document/CurveTable.h"

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

class TestCurveTable : public QObject {
    Q_OBJECT
private slots:
    void ResultExportAndCsvGiveTheirColumns_data();
    void ResultExportAndCsvGiveTheirColumns();
    void AnythingElseIsRefusedNamingTheFileAndThePlace_data();
    void AnythingElseIsRefusedNamingTheFileAndThePlace();
    void FilesThatAreNoTablesAreRefusedBeforeReading();
    void HostileTextGivesAShortReadableRefusal_data();
    void HostileTextGivesAShortReadableRefusal();
    void ATableBeyondTheValueBoundIsRefused();
};

void TestCurveTable::ResultExportAndCsvGiveTheirColumns_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("secondName");
    QTest::addColumn<int>("columns");
    // Two rows of the export format: "%.6f " 36 times and CR LF.
    QByteArray exported;
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 36; ++c)
            exported += QByteArray::number(c == 0 ? r * 0.001 : c * 0.5 - 1, 'f', 6) + ' ';
        exported += "\r\n";
    }
    QTest::newRow("results export") << exported << "Ia [A]" << 36;
    QTest::newRow("cli csv") << QByteArray("t [s],Ia [A],Ib [A]\n0,-0.5,0\n0.001,-0.5,0\n")
                             << "Ia [A]" << 3;
    QTest::newRow("measured, semicolons, quotes, CRLF")
        << QByteArray("\"time\";\"Ia [A]\"\r\n0;-0.5\r\n0.001;-0.5\r\n\r\n") << "Ia [A]" << 2;
    QTest::newRow("tabs and an exponent")
        << QByteArray("t\tIa [A]\n0\t-5e-1\n1e-3\t-0.5\n") << "Ia [A]" << 2;
    QTest::newRow("CR line ends") << QByteArray("t,Ia [A]\r0,-0.5\r0.001,-0.5\r") << "Ia [A]" << 2;
    QTest::newRow("CR, CR LF and LF mixed")
        << QByteArray("t,Ia [A]\r\n0,-0.5\r\r\n0.001,-0.5\n") << "Ia [A]" << 2;
}

void TestCurveTable::ResultExportAndCsvGiveTheirColumns() {
    QFETCH(QByteArray, text);
    QFETCH(QString, secondName);
    QFETCH(int, columns);
    const CCurveTable table = ParseCurveTable(text.toStdString(), "f.txt");
    QVERIFY2(table.m_bOk, table.m_strMessage.c_str());
    QCOMPARE(int(table.m_vecColumns.size()), columns);
    QCOMPARE(QString::fromStdString(table.m_vecNames[1]), secondName);
    // Every row of every column, time first: rows at 0 and 1 ms, Ia = -0.5.
    QCOMPARE(table.m_vecColumns[0], std::vector<double>({0, 0.001}));
    QCOMPARE(table.m_vecColumns[1], std::vector<double>({-0.5, -0.5}));
}

void TestCurveTable::AnythingElseIsRefusedNamingTheFileAndThePlace_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QByteArray("\n\n") << "f.txt: holds no table.";
    QTest::newRow("plot export without header")
        << QByteArray("0.000000 1.000000 \r\n") << "f.txt: line 1 has 2 numbers";
    QTest::newRow("short row") << QByteArray("t,a\n0,1\n1\n") << "f.txt: line 3 has 1 fields";
    QTest::newRow("word in the data")
        << QByteArray("t,Ia [A]\n0,1\n0.1,x1\n") << "line 3, column 2 (Ia [A]): \"x1\"";
    QTest::newRow("one column") << QByteArray("t\n0\n1\n") << "has 1 column";
    QTest::newRow("one row") << QByteArray("t,a\n0,1\n") << "fewer than two rows";
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << "f.txt: has 1 column";
}

void TestCurveTable::AnythingElseIsRefusedNamingTheFileAndThePlace() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    const CCurveTable table = ParseCurveTable(std::string(text.constData(), text.size()), "f.txt");
    QVERIFY(!table.m_bOk);
    QVERIFY2(QString::fromStdString(table.m_strMessage).contains(expected),
             table.m_strMessage.c_str());
}

void TestCurveTable::FilesThatAreNoTablesAreRefusedBeforeReading() {
    QTemporaryDir dir;
    CCurveTable table = ReadCurveTable(dir.path().toStdString());
    QVERIFY2(QString::fromStdString(table.m_strMessage).contains("is a folder"),
             table.m_strMessage.c_str());
    const QString fifo = dir.filePath("pipe");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    table = ReadCurveTable(fifo.toStdString()); // must not wait for a writer
    QVERIFY2(QString::fromStdString(table.m_strMessage).contains("not a regular file"),
             table.m_strMessage.c_str());
    table = ReadCurveTable(dir.filePath("missing.csv").toStdString());
    QVERIFY2(QString::fromStdString(table.m_strMessage).contains("missing.csv: cannot be opened"),
             table.m_strMessage.c_str());
    // A sparse file beyond the bound is refused from its size, unread.
    const QString big = dir.filePath("big.csv");
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(kMaxCurveTableBytes) + 1));
    file.close();
    table = ReadCurveTable(big.toStdString());
    QVERIFY2(QString::fromStdString(table.m_strMessage).contains("more than the"),
             table.m_strMessage.c_str());
}

// Whatever a file holds, the message box gets a few lines of UTF-8 naming the place.
void TestCurveTable::HostileTextGivesAShortReadableRefusal_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    const QByteArray longWord(100000, 'a');
    QTest::newRow("a long word in the data") << QByteArray("t,x\n0,1\n1,") + longWord + "\n"
                                             << "line 3, column 2 (x): \"aaaa";
    QTest::newRow("a long column name") << QByteArray("t,") + longWord + "\n0,1\n1,y\n"
                                        << "line 3, column 2 (aaaa";
    QTest::newRow("bytes that are not UTF-8")
        << QByteArray("t,x\xff\n0,1\n1,\xc3\x28\x80\n") << "line 3, column 2 (x\uFFFD)";
    QTest::newRow("CR line ends count lines")
        << QByteArray("t,x\r0,1\r\r1,z\r") << "line 4, column 2 (x): \"z\"";
    QTest::newRow("control characters") << QByteArray("t,x\n0,1\n1,\x1b[2J\n") << "\\x1B[2J";
}

void TestCurveTable::HostileTextGivesAShortReadableRefusal() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    const CCurveTable table = ParseCurveTable(std::string(text.constData(), text.size()), "f.txt");
    QVERIFY(!table.m_bOk);
    const QByteArray message = QByteArray::fromStdString(table.m_strMessage);
    QVERIFY2(message.size() < 400, message.left(400).constData());
    QVERIFY2(QString::fromUtf8(message).toUtf8() == message, "the message is not UTF-8");
    QVERIFY2(QString::fromUtf8(message).contains(expected, Qt::CaseInsensitive),
             message.constData());
}

// Short lines cost far more as values than as text: the value bound, not the file's size,
// keeps memory in check.
void TestCurveTable::ATableBeyondTheValueBoundIsRefused() {
    QByteArray text("t,x\n");
    for (int r = 0; r < 6; ++r)
        text += QByteArray::number(r) + ",0\n";
    const std::string content(text.constData(), std::size_t(text.size()));
    QVERIFY(ParseCurveTable(content, "f.txt", 12).m_bOk);
    const CCurveTable table = ParseCurveTable(content, "f.txt", 11);
    QVERIFY(!table.m_bOk);
    QVERIFY2(QString::fromStdString(table.m_strMessage)
                 .contains("holds more than 5 rows of 2 columns (at most 11 values"),
             table.m_strMessage.c_str());
}

QTEST_MAIN(TestCurveTable)
#include "tst_CurveTable.moc"
