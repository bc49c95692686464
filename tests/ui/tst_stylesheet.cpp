// The style-sheet preprocessor over small files, and the program's own
// compiled-in style sheet.
#include "Resources.h"
#include "StyleSheetPreprocessor.h"
#include "WindowMetrics.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

using Files = QMap<QString, QByteArray>;
using Variables = QVector<QPair<QString, QString>>;
Q_DECLARE_METATYPE(Files)
Q_DECLARE_METATYPE(Variables)

class TestStyleSheet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Writes the files of one case into a fresh folder; "{dir}" in expected
    // messages stands for its canonical path.
    QString writeFiles(const Files& files)
    {
        static int n = 0;
        const QString dir = m_dir.filePath(QString::number(++n));
        QDir().mkpath(dir);
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QDir().mkpath(QFileInfo(QDir(dir).filePath(it.key())).path());
            QFile f(QDir(dir).filePath(it.key()));
            if (!f.open(QIODevice::WriteOnly))
                return QString();
            f.write(it.value());
        }
        return QDir(dir).canonicalPath();
    }

    static QStringList placed(QStringList messages, const QString& dir)
    {
        for (QString& m : messages)
            m.replace(QLatin1String("{dir}"), dir);
        return messages;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        initVodezResources();
    }

    void process_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<Variables>("variables");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("errors");

        const QString main = QStringLiteral("main.css");
        QTest::newRow("definition leaves no line, reference takes the value")
            << Files{{main, "  $a: 10px;\n  width: $a;\n"}} << Variables() << "  width: 10px;\n"
            << QStringList();
        QTest::newRow("value resolved when defined")
            << Files{{main, "$a: 10px;\n$b: $a 2px;\nm: $b;\n"}} << Variables() << "m: 10px 2px;\n"
            << QStringList();
        QTest::newRow("definition then rule on one line")
            << Files{{main, "$a: 10px; color: red;\n"}} << Variables() << "color: red;\n" << QStringList();
        QTest::newRow("second definition keeps the first")
            << Files{{main, "$a: 10px;\n$a: 20px;\nw: $a;\n"}} << Variables() << "w: 10px;\n"
            << QStringList{"style sheet variable $a in \"$a: 20px;\" in file \"{dir}/main.css\" is already defined."};
        QTest::newRow("code variables take part, sheet cannot redefine them")
            << Files{{main, "$s: 9px;\nf: $s $t;\n"}} << Variables{{"$s", "13px"}, {"$t", "x"}} << "f: 13px x;\n"
            << QStringList{"style sheet variable $s in \"$s: 9px;\" in file \"{dir}/main.css\" is already defined."};
        QTest::newRow("undefined reference removed")
            << Files{{main, "  margin: $zz;\n"}} << Variables() << "  margin: ;\n"
            << QStringList{"style sheet variable $zz in \"  margin: $zz;\" in file \"{dir}/main.css\" is not defined."};
        QTest::newRow("line of an undefined reference only leaves nothing")
            << Files{{main, "a{}\n  $zz\nb{}\n"}} << Variables() << "a{}\nb{}\n"
            << QStringList{"style sheet variable $zz in \"  $zz\" in file \"{dir}/main.css\" is not defined."};
        QTest::newRow("import on its own line")
            << Files{{main, "@import \"Defs.qsse\";\nb{}\n"}, {"Defs.qsse", "$c: red;\nx{color: $c;}\n"}}
            << Variables() << "x{color: red;}\nb{}\n" << QStringList();
        QTest::newRow("import relative to the importing file")
            << Files{{main, "@import \"sub/a.css\";\n"}, {"sub/a.css", "@import \"b.css\";\nA{}\n"},
                     {"sub/b.css", "B{}\n"}}
            << Variables() << "B{}\nA{}\n" << QStringList();
        QTest::newRow("two double-quoted imports on a line name one file")
            << Files{{main, "@import \"a.css\"; @import \"b.css\";\nm{}\n"}, {"a.css", "A{}\n"}, {"b.css", "B{}\n"}}
            << Variables() << "m{}\n"
            << QStringList{"style sheet file \"{dir}/a.css\"; @import \"b.css\" does not exist."};
        QTest::newRow("second import in single quotes")
            << Files{{main, "@import \"a.css\"; @import 'b.css';\n"}, {"a.css", "A{}\n"}, {"b.css", "B{}\n"}}
            << Variables() << "A{}\nB{}\n" << QStringList();
        QTest::newRow("import without semicolon still imports")
            << Files{{main, "@import \"a.css\"\n"}, {"a.css", "A{}\n"}} << Variables() << "A{}\n"
            << QStringList{"import clause for \"a.css\" in file \"{dir}/main.css\" not terminated with semicolon."};
        QTest::newRow("import through a variable")
            << Files{{main, "$f: a.css;\n@import \"$f\";\n"}, {"a.css", "A{}\n"}} << Variables() << "A{}\n"
            << QStringList();
        QTest::newRow("import naming nothing")
            << Files{{main, "@import \"$none\";\nm{}\n"}} << Variables() << "m{}\n"
            << QStringList{"style sheet variable $none in \"@import \"$none\";\" in file \"{dir}/main.css\" is not defined.",
                           "style sheet file \"{dir}/main.css\" contains empty style sheet file name in \"@import \"$none\";\" - ignoring..."};
        QTest::newRow("file importing itself")
            << Files{{main, "@import \"main.css\";\nm{}\n"}} << Variables() << "m{}\n"
            << QStringList{"style sheet file \"{dir}/main.css\" cannot be processed recursively."};
        QTest::newRow("second import of a file")
            << Files{{main, "@import \"a.css\";\n@import \"a.css\";\n"}, {"a.css", "A{}\n"}} << Variables() << "A{}\n"
            << QStringList{"style sheet file \"{dir}/a.css\" already processed."};
        QTest::newRow("comment inside a line")
            << Files{{main, "a /* x */ b\n"}} << Variables() << "a  b\n" << QStringList();
        QTest::newRow("comment over three lines joins them")
            << Files{{main, "p /* one\ntwo * /\nthree */ q\nr\n"}} << Variables() << "p  q\nr\n" << QStringList();
        QTest::newRow("blank lines stay empty, trailing blanks go")
            << Files{{main, "a{}   \n   \nb{}\t\n"}} << Variables() << "a{}\n\nb{}\n" << QStringList();
        QTest::newRow("CR LF line ends and a NUL byte")
            << Files{{main, QByteArray("a{}\r\nb{}\r\n\0c{}\r\n", 16)}} << Variables() << "a{}\nb{}\n"
            << QStringList();
        QTest::newRow("UTF-8 text")
            << Files{{main, "/* 注释 */l{font: \"微软雅黑\";}\n"}} << Variables()
            << QString::fromUtf8("l{font: \"微软雅黑\";}\n") << QStringList();
        // Values from code are stored unresolved; one that leads back to its
        // own name used to resolve without end.
        QTest::newRow("variable leading back to itself through another")
            << Files{{main, "w: $a;\nv: 1px;\n"}} << Variables{{"$a", "$b"}, {"$b", "x $a"}} << "w: x ;\nv: 1px;\n"
            << QStringList{"style sheet variable $a in \"w: $a;\" in file \"{dir}/main.css\" refers to itself."};
        QTest::newRow("variable referring to itself directly")
            << Files{{main, "w: $g $g;\n"}} << Variables{{"$g", "[$g]"}} << "w: [] [];\n"
            << QStringList{"style sheet variable $g in \"w: $g $g;\" in file \"{dir}/main.css\" refers to itself.",
                           "style sheet variable $g in \"w: $g $g;\" in file \"{dir}/main.css\" refers to itself."};
        QTest::newRow("same variable many times is no cycle")
            << Files{{main, "w: $m $m $m;\n"}} << Variables{{"$m", "$n"}, {"$n", "1px"}} << "w: 1px 1px 1px;\n"
            << QStringList();
    }

    void process()
    {
        QFETCH(Files, files);
        QFETCH(Variables, variables);
        QFETCH(QString, expected);
        QFETCH(QStringList, errors);

        const QString dir = writeFiles(files);
        QVERIFY(!dir.isEmpty());
        StyleSheetPreprocessor pre;
        for (const auto& v : variables)
            pre.defineVariable(v.first, v.second);
        pre.errors().clear();
        QCOMPARE(pre.process(QDir(dir).filePath(QStringLiteral("main.css"))), expected);
        QCOMPARE(pre.errors(), placed(errors, dir));
    }

    void fileProblems()
    {
        const QString dir = writeFiles(Files{{"a.css", "A{}\n"}});
        StyleSheetPreprocessor pre;

        QCOMPARE(pre.process(QString()), QString());
        QCOMPARE(pre.errors(),
                 QStringList{"style sheet file \"\" will be ignored - empty style sheet file name."});

        const QString missing = QDir(dir).filePath(QStringLiteral("missing.css"));
        QCOMPARE(pre.process(missing), QString());
        QCOMPARE(pre.errors(), QStringList{QStringLiteral("style sheet file \"%1\" does not exist.").arg(missing)});

        // Each call starts afresh: a file taken once is taken again.
        const QString a = QDir(dir).filePath(QStringLiteral("a.css"));
        QCOMPARE(pre.process(a), QStringLiteral("A{}\n"));
        QCOMPARE(pre.process(a), QStringLiteral("A{}\n"));
        QVERIFY(pre.errors().isEmpty());

        QFile unreadable(QDir(dir).filePath(QStringLiteral("locked.css")));
        QVERIFY(unreadable.open(QIODevice::WriteOnly));
        unreadable.close();
        QVERIFY(unreadable.setPermissions(QFileDevice::WriteOwner));
        if (!QFile(unreadable.fileName()).open(QIODevice::ReadOnly)) {   // root reads anything
            QCOMPARE(pre.process(unreadable.fileName()), QString());
            QCOMPARE(pre.errors(), QStringList{QStringLiteral("style sheet file \"%1\" couldn't be opened.")
                                                   .arg(unreadable.fileName())});
        }
    }

    void sizeLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("at the limit") << int(StyleSheetPreprocessor::maxFileSize());
        QTest::newRow("one byte over") << int(StyleSheetPreprocessor::maxFileSize()) + 1;
    }

    void sizeLimit()
    {
        QFETCH(int, size);
        QByteArray content = "x{}\n";
        content.append(QByteArray(size - content.size(), ' '));
        const QString dir = writeFiles(Files{{"big.css", content}, {"main.css", "@import \"big.css\";\nm{}\n"}});
        StyleSheetPreprocessor pre;
        const QString out = pre.process(QDir(dir).filePath(QStringLiteral("main.css")));
        if (size <= StyleSheetPreprocessor::maxFileSize()) {
            QCOMPARE(out, QStringLiteral("x{}\n\nm{}\n"));
            QVERIFY(pre.errors().isEmpty());
        } else {
            QCOMPARE(out, QStringLiteral("m{}\n"));
            QCOMPARE(pre.errors(), QStringList{QStringLiteral("style sheet file \"%1/big.css\" exceeds limit of %L2 bytes.")
                                                   .arg(dir)
                                                   .arg(1000000)});
        }
    }

    void includeDirectoryWins()
    {
        const QString dir = writeFiles(Files{{"main.css", "@import \"a.css\";\n"}, {"a.css", "LOCAL{}\n"},
                                             {"inc/a.css", "INCLUDED{}\n"}});
        StyleSheetPreprocessor pre(QDir(dir).filePath(QStringLiteral("inc")));
        QCOMPARE(pre.process(QDir(dir).filePath(QStringLiteral("main.css"))), QStringLiteral("INCLUDED{}\n"));

        // The program's sheet comes from the resources even beside a file of
        // the same name in the working directory.
        QFile local(QStringLiteral("style.css"));
        QVERIFY(local.open(QIODevice::WriteOnly));
        local.write("LOCAL{}\n");
        local.close();
        StyleSheetPreprocessor program(QStringLiteral(":/etc"));
        QVERIFY(program.process(QStringLiteral("style.css")).contains(QLatin1String("QDialog")));
        QCOMPARE(QResource(QStringLiteral(":/etc/style.css")).compressionAlgorithm(),
                 QResource::ZlibCompression);
    }

    void programSheet_data()
    {
        QTest::addColumn<int>("availableHeight");
        QTest::newRow("scale 1.0") << 800;
        QTest::newRow("scale 1.3") << 1040;
    }

    void programSheet()
    {
        QFETCH(int, availableHeight);
        const WindowMetrics metrics = windowMetricsFor(availableHeight);
        StyleSheetPreprocessor pre(QStringLiteral(":/etc"));
        for (const auto& v : metrics.variables)
            pre.defineVariable(v.first, v.second);
        const QString sheet = pre.process(QStringLiteral("style.css"));
        QVERIFY2(pre.errors().isEmpty(), qPrintable(pre.errors().join(QLatin1Char('\n'))));
        QVERIFY(!sheet.contains(QLatin1Char('$')));
        QVERIFY(!sheet.contains(QLatin1String("/*")));
        QVERIFY(sheet.contains(QLatin1String("#FAFCFD")));
        QVERIFY(sheet.contains(QStringLiteral("min-height: %1;").arg(metrics.variables.at(6).second)));
    }
};

QTEST_GUILESS_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
