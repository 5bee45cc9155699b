// The drug lookup: category tree, record sheet, search by name and combined search.
#include "GuiFixture.h"
#include "data/DatabaseCopy.h"
#include "core/Guard.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/NameCompleter.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QPushButton>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTest>

#include <memory>

using Columns = QMap<QString, QString>;

namespace {

const QStringList Labels = {
    QStringLiteral("【药物名称】： "), QStringLiteral("【类    别】： "), QStringLiteral("【英文名称】： "),
    QStringLiteral("【别    名】： "), QStringLiteral("【来    源】： "), QStringLiteral("【植物形态】： "),
    QStringLiteral("【生 长 地】： "), QStringLiteral("【采    制】： "), QStringLiteral("【化学成分】： "),
    QStringLiteral("【性    味】： "), QStringLiteral("【功能主治】： "), QStringLiteral("【附    注】： "),
};

// The twelve text columns the combined search's boxes test, in box order
// (box 9 tests the two plant-form columns).
const QStringList BoxColumns = {
    QStringLiteral("功能主治"), QStringLiteral("药物名称"), QStringLiteral("别名"),     QStringLiteral("性味"),
    QStringLiteral("生长地"),   QStringLiteral("化学成分"), QStringLiteral("采制"),     QStringLiteral("来源"),
    QStringLiteral("植物形态"), QStringLiteral("类别"),     QStringLiteral("英文名称"), QStringLiteral("附注"),
};

// Every column the program writes or reads as free text (类别 is kept by the
// database, LB is a code).
const QStringList TextColumns = [] {
    QStringList columns = data::drugColumns();
    columns.removeOne(QStringLiteral("LB"));
    return columns;
}();

// A sheet of labels followed by the given values, one empty line between items.
QStringList sheet(const QStringList &values)
{
    QStringList lines;
    for (int i = 0; i < 12; ++i) {
        lines << Labels[i] + values.value(i);
        if (i < 11)
            lines << QString();
    }
    return lines;
}

QStringList topTexts(const TreeView *tree)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(0);
    return texts;
}

QStringList topKeys(const TreeView *tree)
{
    QStringList keys;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const NodeKey *key = static_cast<TreeNode *>(tree->topLevelItem(i))->nodeKey();
        keys << (key ? key->key : QStringLiteral("<none>"));
    }
    return keys;
}

TreeNode *child(TreeView *tree, int category, int drug)
{
    return static_cast<TreeNode *>(tree->topLevelItem(category)->child(drug));
}

QString id(qint64 value)
{
    return QString::number(value);
}

// Everything stored, so that any write shows: every value as stored, the
// highest ID handed out, and on a file its schema.
QByteArray fingerprint(const TestDatabase &db)
{
    const data::StoredRows rows = data::readDatabase(db.path());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const data::StoredTable &table : rows.tables) {
        for (const data::StoredTable::Row &row : table.rows) {
            hash.addData(QByteArray::number(row.key));
            for (const data::RawValue &value : row.values)
                hash.addData(QByteArray::number(value.type) + ':' + value.bytes + '|');
        }
    }
    hash.addData(QByteArray::number(rows.drugIdHighWater));
    if (!onServer())
        hash.addData(db.scalar(QStringLiteral("select group_concat(sql, '|') from sqlite_master")).toUtf8());
    return hash.result();
}

int gbkLength(const QString &text)
{
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(text);
    return gbk.hasError() ? -1 : int(bytes.size());
}

// Strings that a person can type or paste; each is stored in every column of
// one drug of the bad-input database.
// The name search's outcome when the text finds several drugs.
constexpr int Several = -2;

const QStringList Stored = {
    QStringLiteral("甘草"),          // 0
    QStringLiteral("a\"b"),          // 1
    QStringLiteral("a'b"),           // 2
    QStringLiteral("50%"),           // 3
    QStringLiteral("a_b"),           // 4
    QStringLiteral("[ab]"),          // 5
    QStringLiteral("a\\b"),          // 6
    QStringLiteral("a;b"),           // 7
    QStringLiteral(" 黄芪 "),        // 8
    QStringLiteral("   "),           // 9
    QStringLiteral("\t\x01x\x1f"),   // 10
    QStringLiteral("𠀀𝔸"),           // 11
    QString(10000, QChar(u'长')),     // 12
    QStringLiteral("Ginseng"),       // 13
    QString(20000, QChar(u'草')) + QStringLiteral("End"), // 14: longer than a LIKE pattern may be
};

} // namespace

class TestLookup : public QObject
{
    Q_OBJECT

private:
    // The tree database: categories out of code order, a category without
    // drugs, codes with blanks, drugs outside every category.
    struct TreeDb {
        TestDatabase db;
        qint64 huangqin, huanglian, mahuang, renshen, dangshen, orphan, uncategorised;
        TreeDb()
        {
            db.exec(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('03', ' 解表药 '), ('01', '清热药\t'), "
                                   "(' 02 ', '补益药'), ('04', '空类')"));
            huangqin = db.addDrug({{"LB", "01"}, {"药物名称", " 黄芩 "}, {"功能主治", "清热燥湿"}});
            mahuang = db.addDrug({{"LB", "03"}, {"药物名称", "麻黄"}});
            huanglian = db.addDrug({{"LB", "01"}, {"药物名称", "黄连"}});
            renshen = db.addDrug({{"LB", " 02 "}, {"药物名称", "人参"}});
            dangshen = db.addDrug({{"LB", "02"}, {"药物名称", "党参"}}); // code without its blanks
            orphan = db.addDrug({{"LB", "99"}, {"药物名称", "孤药"}});
            uncategorised = db.addDrug({{"药物名称", "无类药"}});
        }
    };

    std::unique_ptr<TestDatabase> m_badInput;
    QList<qint64> m_badInputIds;
    QByteArray m_badInputPrint;

    // One database for every bad-input row: the rows only read it, and each
    // checks that it stayed as it was.
    TestDatabase &badInputDb()
    {
        // One for each engine.
        if (!m_badInput || data::isServerName(m_badInput->path()) != onServer()) {
            m_badInputIds.clear();
            m_badInput = std::make_unique<TestDatabase>();
            QStringList lbRows, lbParams;
            for (int i = 0; i < Stored.size(); ++i) {
                lbRows << QStringLiteral("(?, ?)");
                lbParams << QStringLiteral("c%1").arg(i, 2, 10, QChar(u'0')) << Stored[i];
            }
            m_badInput->exec(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ") + lbRows.join(u','), lbParams);
            for (int i = 0; i < Stored.size(); ++i) {
                Columns columns{{"LB", lbParams[2 * i]}};
                for (const QString &column : TextColumns)
                    columns[column] = Stored[i];
                m_badInputIds << m_badInput->addDrug(columns);
            }
            // The rows' name keys, as a save makes them in the file and a
            // look-up on a server: found alike on both.
            data::Connection connection;
            locate(connection, m_badInput->path());
            data::Transaction transaction(connection);
            connection.engine().afterDrugWrite();
            transaction.commit();
            m_badInputPrint = fingerprint(*m_badInput);
        }
        return *m_badInput;
    }

    void badInputData();

private slots:
    // Every test on the file, then on the server.
    void initTestCase_data() { addEngineRows(); }
    void init() { useEngineOfRow(); }
    // --- category tree ---

    void testTreeHoldsCategoriesInTableOrderWithTheirDrugs()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TreeView *tv1 = window.f().tv1;

        QCOMPARE(topTexts(tv1), (QStringList{"解表药", "清热药", "补益药", "空类"}));
        const QList<QStringList> names{{"麻黄"}, {"黄芩", "黄连"}, {"人参"}, {}};
        const QList<QStringList> keys{{id(t.mahuang)}, {id(t.huangqin), id(t.huanglian)}, {id(t.renshen)}, {}};
        const qint64 categoryIcon = window.f().ImageList_TreeView.icon(Icons::GreenBook, Icons::GreenBook).cacheKey();
        const qint64 drugIcon = window.f().ImageList_TreeView.icon(Icons::BlueBookClosed, Icons::BlueBookOpen).cacheKey();
        for (int c = 0; c < 4; ++c) {
            auto *category = static_cast<TreeNode *>(tv1->topLevelItem(c));
            QVERIFY(!category->nodeKey());
            QVERIFY(!category->isExpanded());
            QCOMPARE(category->icon(0).cacheKey(), categoryIcon);
            QCOMPARE(category->childCount(), int(names[c].size()));
            for (int d = 0; d < category->childCount(); ++d) {
                QCOMPARE(child(tv1, c, d)->text(0), names[c][d]);
                QVERIFY(child(tv1, c, d)->nodeKey());
                QCOMPARE(child(tv1, c, d)->nodeKey()->key, keys[c][d]);
                QCOMPARE(child(tv1, c, d)->icon(0).cacheKey(), drugIcon);
                QCOMPARE(child(tv1, c, d)->childCount(), 0);
            }
        }
        // 党参 (code "02" against " 02 "), 孤药 and 无类药 have no category node.
        QCOMPARE(tv1->nodeCount(), 8);
        QVERIFY(!tv1->selectedNode());
        QVERIFY(window.f().Memo1->lines().isEmpty());
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testSelectingNodesShowsDrugsAndLeavesCategoriesAlone()
    {
        TreeDb t;
        t.db.addDrug({{"LB", "04"}, {"药物名称", "黄连"}, {"功能主治", "第二个黄连"}});
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();

        form.LabeledEdit_mc->setText(QStringLiteral("用户输入"));
        form.tv1->selectNode(child(form.tv1, 1, 0));
        // The sheet holds the raw name; the box the trimmed one, replacing the typing.
        QCOMPARE(form.Memo1->lines().value(0), Labels[0] + QStringLiteral(" 黄芩 "));
        QCOMPARE(form.Memo1->lines().value(20), Labels[10] + QStringLiteral("清热燥湿"));
        QCOMPARE(form.LabeledEdit_mc->text(), QStringLiteral("黄芩"));

        const QStringList shown = form.Memo1->lines();
        form.LabeledEdit_mc->setText(QStringLiteral("又输入"));
        form.tv1->selectNode(static_cast<TreeNode *>(form.tv1->topLevelItem(2)));
        QCOMPARE(form.Memo1->lines(), shown);
        QCOMPARE(form.LabeledEdit_mc->text(), QStringLiteral("又输入"));

        // Two drugs of one name: each node shows its own row.
        form.tv1->selectNode(child(form.tv1, 1, 1));
        QCOMPARE(form.Memo1->lines().value(20), Labels[10]);
        form.tv1->selectNode(child(form.tv1, 3, 0));
        QCOMPARE(form.Memo1->lines().value(0), Labels[0] + QStringLiteral("黄连"));
        QCOMPARE(form.Memo1->lines().value(20), Labels[10] + QStringLiteral("第二个黄连"));
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testDrugDeletedAfterStartShowsBareLabels()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        t.db.exec(QStringLiteral("DELETE FROM DRUG_ZB WHERE ID = ?"), {id(t.mahuang)});

        form.tv1->selectNode(child(form.tv1, 0, 0));
        QCOMPARE(form.Memo1->lines(), sheet({}));
        QCOMPARE(form.LabeledEdit_mc->text(), QStringLiteral("麻黄"));
        QVERIFY(window.presenter.messages.isEmpty());
    }

    // --- record sheet ---

    void testSheetHasTwelveLabelledLinesWithRawValues()
    {
        TestDatabase db;
        db.addCategory("01", "补益药");
        const QStringList itemColumns{"药物名称", "类别", "英文名称", "别名", "来源", "植物形态",
                                      "生长地", "采制", "化学成分", "性味", "功能主治", "附注"};
        Columns columns{{"LB", "01"}, {"植物形态1", " 形态一 "}, {"植物形态2", "  形态二\t"}};
        QStringList expected;
        for (int i = 0; i < 12; ++i) {
            if (i == 1) {
                expected << QStringLiteral("补益药");
            } else if (i == 5) {
                expected << QStringLiteral(" 形态一   形态二\t");
            } else {
                columns[itemColumns[i]] = QStringLiteral("  值%1 ").arg(i);
                expected << QStringLiteral("  值%1 ").arg(i);
            }
        }
        const qint64 drug = db.addDrug(columns);
        GuiFixture window(db.path());
        TFormMain &form = window.f();

        form.ShowDrug(id(drug), form.Memo1);
        QCOMPARE(form.Memo1->lines().size(), 23);
        QCOMPARE(form.Memo1->lines(), sheet(expected));
        // All labels equally wide in GBK, so the values start in one column.
        QVERIFY(QStringEncoder("GBK").isValid());
        for (const QString &label : Labels)
            QCOMPARE(gbkLength(label), 15);

        // A second sheet replaces the first.
        const qint64 empty = db.addDrug({});
        form.ShowDrug(id(empty), form.Memo1);
        QCOMPARE(form.Memo1->lines(), sheet({}));
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testPlantFormJoinsBothColumns_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("shown");
        QTest::newRow("neither") << QString() << QString() << QString();
        QTest::newRow("only first") << "草本" << QString() << "草本";
        QTest::newRow("only second") << QString() << "叶互生" << "叶互生";
        QTest::newRow("both") << "草本，" << "叶互生" << "草本，叶互生";
    }

    void testPlantFormJoinsBothColumns()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, shown);
        TestDatabase db;
        Columns columns;
        if (!first.isNull())
            columns["植物形态1"] = first;
        if (!second.isNull())
            columns["植物形态2"] = second;
        const qint64 drug = db.addDrug(columns);
        GuiFixture window(db.path());
        window.f().ShowDrug(id(drug), window.f().Memo1);
        QCOMPARE(window.f().Memo1->lines().value(10), Labels[5] + shown);
        QCOMPARE(window.f().Memo1->lines().size(), 23);
    }

    void testMultiLineAndLongValuesTakeSeveralLines()
    {
        TestDatabase db;
        const QString longText(300, QChar(u'药'));
        const qint64 drug = db.addDrug({{"来源", "第一行\n第二行\n第三行"}, {"功能主治", longText}});
        GuiFixture window(db.path());
        Memo *memo = window.f().Memo1;
        window.f().ShowDrug(id(drug), memo);

        const QStringList lines = memo->lines();
        QCOMPARE(lines.size(), 25);
        QCOMPARE(lines.mid(8, 5), (QStringList{Labels[4] + "第一行", "第二行", "第三行", QString(), Labels[5]}));
        QCOMPARE(lines.value(22), Labels[10] + longText);

        // The long value wraps; the item after it still starts a line of its own.
        const QStringList shown = memo->displayLines();
        QVERIFY2(shown.size() > lines.size(), qPrintable(QString::number(shown.size())));
        QCOMPARE(shown.last(), Labels[11]);
        QCOMPARE(shown.value(shown.size() - 2), QString());
        QVERIFY(shown.value(shown.size() - 3).endsWith(u'药'));
    }

    void testLongSheetIsShownFromItsFirstLine()
    {
        TestDatabase db;
        QStringList many;
        for (int i = 0; i < 200; ++i)
            many << QStringLiteral("附注第%1行").arg(i);
        const qint64 first = db.addDrug({{"药物名称", "甲"}, {"附注", many.join(u'\n')}});
        const qint64 second = db.addDrug({{"药物名称", "乙"}, {"附注", many.join(u'\n')}});
        GuiFixture window(db.path());
        Memo *memo = window.f().Memo1;

        window.f().ShowDrug(id(first), memo);
        QCOMPARE(memo->firstVisibleLine(), 0);
        memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
        QApplication::processEvents();
        QVERIFY(memo->firstVisibleLine() > 0);

        window.f().ShowDrug(id(second), memo);
        QApplication::processEvents();
        QCOMPARE(memo->firstVisibleLine(), 0);
        QCOMPARE(memo->lines().value(0), Labels[0] + "乙");
        QCOMPARE(memo->lines().size(), 22 + 200);
    }

    void testNonNumericIdReportsErrorAndLeavesAreaEmpty_data()
    {
        QTest::addColumn<QString>("badId");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("condition") << "1 or 1=1";
        QTest::newRow("second statement") << "1;DELETE FROM DRUG_ZB";
        QTest::newRow("number and text") << "1abc";
    }

    void testNonNumericIdReportsErrorAndLeavesAreaEmpty()
    {
        QFETCH(QString, badId);
        TestDatabase db;
        const qint64 drug = db.addDrug({{"药物名称", "甘草"}});
        const QByteArray before = fingerprint(db);
        GuiFixture window(db.path());
        TFormMain &form = window.f();
        form.ShowDrug(id(drug), form.Memo1);
        QVERIFY(!form.Memo1->lines().isEmpty());

        QVERIFY_THROWS_EXCEPTION(data::DbError, form.ShowDrug(badId, form.Memo1));
        QVERIFY(form.Memo1->lines().isEmpty());
        form.ShowDrug(id(drug), form.Memo1);
        core::guarded([&] { form.ShowDrug(badId, form.Memo1); });
        QCOMPARE(window.presenter.count(app::MessageForm::ErrorReport), 1);
        QCOMPARE(window.presenter.messages.size(), 1);
        QVERIFY(form.Memo1->lines().isEmpty());
        QCOMPARE(fingerprint(db), before);
    }

    // --- search by name ---

    void testNameSearchShowsFoundDrugAndChangesNothingElse()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        TreeNode *selected = child(form.tv1, 0, 0);
        form.tv1->selectNode(selected);

        // Drugs outside the tree are found too.
        window.simpleQuery.search(QStringLiteral("孤药"));
        QCOMPARE(form.Memo1->lines().value(0), Labels[0] + "孤药");
        QCOMPARE(form.tv1->selectedNode(), selected);
        QCOMPARE(form.LabeledEdit_mc->text(), QStringLiteral("孤药"));
        QVERIFY(!form.tv1->topLevelItem(1)->isExpanded());
        QVERIFY(window.presenter.messages.isEmpty());

        // The name the tree put into the box finds that drug again.
        form.tv1->selectNode(child(form.tv1, 1, 1));
        form.Memo1->clear();
        form.BitBtn1->click();
        QCOMPARE(form.Memo1->lines().value(0), Labels[0] + "黄连");
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testNameNotFoundKeepsSheetAndSaysSo()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        form.tv1->selectNode(child(form.tv1, 0, 0));
        const QStringList shown = form.Memo1->lines();

        window.simpleQuery.search(QStringLiteral("不存在"));
        QCOMPARE(window.presenter.messages.size(), 1);
        const app::Message &m = window.presenter.messages.first();
        QCOMPARE(m.form, app::MessageForm::Direct);
        QCOMPARE(m.text, QStringLiteral("无此药物！"));
        QCOMPARE(m.title, QStringLiteral("提示"));
        QCOMPARE(m.icon, app::MessageIcon::Exclamation);
        QCOMPARE(form.Memo1->lines(), shown);
        QCOMPARE(form.LabeledEdit_mc->text(), QStringLiteral("不存在"));
    }

    void testEmptyNameBoxDoesNothing()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        form.tv1->selectNode(child(form.tv1, 0, 0));
        form.LabeledEdit_mc->clear();
        const QStringList shown = form.Memo1->lines();
        const QString lastStatement = form.SQL_1.sql();

        form.BitBtn1->click();
        QVERIFY(window.presenter.messages.isEmpty());
        QCOMPARE(form.Memo1->lines(), shown);
        QCOMPARE(form.SQL_1.sql(), lastStatement);
    }

    // --- combined search ---

    void testNoCriteriaListsEveryDrugByCategoryCodeThenId()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        window.combinedQuery.search({});

        // Codes NULL < " 02 " < "01" < "02" < "03" < "99"; names and categories trimmed.
        QCOMPARE(topTexts(form.tv2), (QStringList{"：无类药", "补益药：人参", "清热药：黄芩", "清热药：黄连",
                                                  "：党参", "解表药：麻黄", "：孤药"}));
        QCOMPARE(topKeys(form.tv2), (QStringList{id(t.uncategorised), id(t.renshen), id(t.huangqin),
                                                 id(t.huanglian), id(t.dangshen), id(t.mahuang), id(t.orphan)}));
        const qint64 drugIcon = form.ImageList_TreeView.icon(Icons::BlueBookClosed, Icons::BlueBookOpen).cacheKey();
        for (int i = 0; i < form.tv2->topLevelItemCount(); ++i)
            QCOMPARE(form.tv2->topLevelItem(i)->icon(0).cacheKey(), drugIcon);
        QCOMPARE(form.tv2->selectedNode(), form.tv2->topLevelItem(0));
        QCOMPARE(form.Memo2->lines().value(0), Labels[0] + "无类药");
        QVERIFY(form.ResultListFilled);

        // Selecting another entry shows it; the simple query page is untouched.
        form.tv2->selectNode(static_cast<TreeNode *>(form.tv2->topLevelItem(2)));
        QCOMPARE(form.Memo2->lines().value(0), Labels[0] + " 黄芩 ");
        QVERIFY(form.Memo1->lines().isEmpty());
        QVERIFY(form.LabeledEdit_mc->text().isEmpty());
        QVERIFY(!form.tv1->selectedNode());
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testEachBoxTestsItsOwnColumn_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("column");
        for (int box = 1; box <= 12; ++box) {
            if (box == 9) {
                QTest::newRow("9 植物形态1") << 9 << "植物形态1";
                QTest::newRow("9 植物形态2") << 9 << "植物形态2";
            } else {
                QTest::addRow("%d %s", box, qPrintable(BoxColumns[box - 1])) << box << BoxColumns[box - 1];
            }
        }
    }

    void testEachBoxTestsItsOwnColumn()
    {
        QFETCH(int, box);
        QFETCH(QString, column);
        const QString marked = QStringLiteral("前甲标记后"), other = QStringLiteral("无关");
        TestDatabase db;
        db.exec(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES ('01', ?), ('02', ?)"), {marked, other});
        // The wanted drug has the mark only in the tested column; the decoy
        // everywhere else.
        const bool plantBox = box == 9;
        auto tested = [&](const QString &c) { return plantBox ? c.startsWith(QStringLiteral("植物形态")) : c == column; };
        Columns wanted{{"LB", column == "类别" ? "01" : "02"}}, decoy{{"LB", column == "类别" ? "02" : "01"}};
        for (const QString &c : TextColumns) {
            wanted[c] = c == column ? marked : other;
            decoy[c] = tested(c) ? other : marked;
        }
        db.addDrug(decoy);
        const qint64 wantedId = db.addDrug(wanted);
        GuiFixture window(db.path());
        TFormMain &form = window.f();

        window.combinedQuery.search({{box, QStringLiteral("甲标记")}});
        QCOMPARE(topKeys(form.tv2), QStringList{id(wantedId)});
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testCriteriaCombineWithAndAndKeepWildcards()
    {
        TestDatabase db;
        db.addCategory("01", "补益药");
        const qint64 a = db.addDrug({{"LB", "01"}, {"药物名称", "甘草"}, {"性味", "甘平"}});
        const qint64 b = db.addDrug({{"LB", "01"}, {"药物名称", "甘草片"}, {"性味", "苦"}});
        const qint64 c = db.addDrug({{"LB", "01"}, {"药物名称", "黄芪"}, {"性味", "甘温"}});
        GuiFixture window(db.path());
        TFormMain &form = window.f();

        window.combinedQuery.search({{2, "甘草"}});
        QCOMPARE(topKeys(form.tv2), (QStringList{id(a), id(b)}));
        window.combinedQuery.search({{2, "甘草"}, {4, "甘"}});
        QCOMPARE(topKeys(form.tv2), QStringList{id(a)});
        window.combinedQuery.search({{4, "甘"}, {2, "芪"}});
        QCOMPARE(topKeys(form.tv2), QStringList{id(c)});
        window.combinedQuery.search({{2, "甘%片"}});
        QCOMPARE(topKeys(form.tv2), QStringList{id(b)});
        window.combinedQuery.search({{2, "_草"}});
        QCOMPARE(topKeys(form.tv2), (QStringList{id(a), id(b)}));
        window.combinedQuery.search({{2, "黄_"}, {4, "%温"}});
        QCOMPARE(topKeys(form.tv2), QStringList{id(c)});
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testSearchWithoutResultKeepsSheetAndEmptiesList()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        window.combinedQuery.search({{2, "黄"}});
        QCOMPARE(form.tv2->topLevelItemCount(), 3);
        const QStringList shown = form.Memo2->lines();
        QVERIFY(!shown.isEmpty());

        window.combinedQuery.search({{2, "黄"}, {3, "不存在"}});
        QCOMPARE(form.tv2->topLevelItemCount(), 0);
        QVERIFY(!form.tv2->selectedNode());
        QCOMPARE(form.Memo2->lines(), shown);
        QVERIFY(window.presenter.messages.isEmpty());
    }

    void testRerunRebuildsListWithoutShowingDuringRebuild()
    {
        TreeDb t;
        GuiFixture window(t.db.path());
        TFormMain &form = window.f();
        window.combinedQuery.search({{2, "黄"}});
        form.tv2->selectNode(static_cast<TreeNode *>(form.tv2->topLevelItem(1)));
        QCOMPARE(form.Memo2->lines().value(0), Labels[0] + "黄连");

        int sheetChangesWhileRebuilding = 0, sheetChanges = 0;
        QList<bool> flagWhileClearing;
        QObject watching; // gone before the counters, so are the connections
        connect(form.Memo2, &QPlainTextEdit::textChanged, &watching, [&] {
            ++sheetChanges;
            sheetChangesWhileRebuilding += !form.ResultListFilled;
        });
        connect(form.tv2->model(), &QAbstractItemModel::rowsAboutToBeRemoved, &watching,
                [&] { flagWhileClearing << form.ResultListFilled; });
        connect(form.tv2->model(), &QAbstractItemModel::modelAboutToBeReset, &watching,
                [&] { flagWhileClearing << form.ResultListFilled; });

        form.BitBtn2->click();
        QVERIFY(!flagWhileClearing.isEmpty());
        QVERIFY(!flagWhileClearing.contains(true));
        QCOMPARE(sheetChangesWhileRebuilding, 0);
        QVERIFY(sheetChanges > 0);
        QVERIFY(form.ResultListFilled);
        QCOMPARE(topKeys(form.tv2), (QStringList{id(t.huangqin), id(t.huanglian), id(t.mahuang)}));
        QCOMPARE(form.tv2->selectedNode(), form.tv2->topLevelItem(0));
        QCOMPARE(form.Memo2->lines().value(0), Labels[0] + " 黄芩 ");
        QVERIFY(window.presenter.messages.isEmpty());
    }

    // --- bad input: every box of both searches ---

    void testBadInputInNameBox_data() { badInputData(); }

    void testBadInputInNameBox()
    {
        QFETCH(QString, typed);
        QFETCH(int, exactly);
        TestDatabase &db = badInputDb();
        GuiFixture window(db.path());
        TFormMain &form = window.f();
        form.ShowDrug(id(m_badInputIds[0]), form.Memo1);
        const QStringList before = form.Memo1->lines();

        window.simpleQuery.search(typed);
        QCOMPARE(window.presenter.count(app::MessageForm::ErrorReport), 0);
        if (exactly == Several) {
            QVERIFY(window.presenter.messages.isEmpty());
            QVERIFY(form.NameList->isOpen());
            QCOMPARE(form.Memo1->lines(), before);
        } else if (exactly < 0) {
            QCOMPARE(window.presenter.texts(), QStringList{QStringLiteral("无此药物！")});
            QCOMPARE(form.Memo1->lines(), before);
        } else {
            QVERIFY(window.presenter.messages.isEmpty());
            QCOMPARE(form.Memo1->lines().value(20), Labels[10] + Stored[exactly]);
        }
        // The one name a text starts replaces it; an equal one keeps it.
        // Found by a key, the drug's name replaces the text too.
        const bool startsName = exactly >= 0 && typed.compare(Stored[exactly], Qt::CaseInsensitive) != 0;
        QCOMPARE(form.LabeledEdit_mc->text(), startsName ? Stored[exactly] : typed);
        QCOMPARE(fingerprint(db), m_badInputPrint);
    }

    void testBadInputInEveryCombinedBox_data() { badInputData(); }

    void testBadInputInEveryCombinedBox()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, contains);
        TestDatabase &db = badInputDb();
        GuiFixture window(db.path());
        TFormMain &form = window.f();
        const auto ids = [&](const QList<int> &stored) {
            QStringList out;
            for (int i : stored)
                out << id(m_badInputIds[i]);
            return out;
        };

        for (int box = 1; box <= 12; ++box) {
            form.Memo2->clear();
            window.combinedQuery.search({{box, typed}});
            QCOMPARE(form.LabeledEdits[box - 1]->text(), typed);
            QVERIFY2(window.presenter.messages.isEmpty(), qPrintable(window.presenter.texts().join(u'|')));
            // 𝔸 is the letter A, which starts the pinyin of the Latin names
            // in the name and other-name boxes.
            const QStringList columns = data::boxColumns(box);
            const bool pinyin = columns == QStringList{"药物名称"} || columns == QStringList{"别名"};
            const QList<int> listed = pinyin && typed == QStringLiteral("𝔸") ? QList<int>{1, 2, 4, 5, 6, 7, 11} : contains;
            QCOMPARE(topKeys(form.tv2), ids(listed));
            if (!listed.isEmpty())
                QCOMPARE(form.Memo2->lines().value(20), Labels[10] + Stored[listed.first()]);
            else
                QVERIFY(form.Memo2->lines().isEmpty());
        }
        QCOMPARE(fingerprint(db), m_badInputPrint);
    }
};

// `exactly`: the stored string the name search shows: the one equal to the
// text (Latin case ignored), else the only one it starts or whose keys it
// starts; -1 for none, Several for a list to choose from; `contains`: the
// drugs the combined search lists.
void TestLookup::badInputData()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("exactly");
    QTest::addColumn<QList<int>>("contains");
    const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    QTest::newRow("double quote") << "\"" << -1 << QList<int>{1};
    QTest::newRow("single quote") << "'" << -1 << QList<int>{2};
    QTest::newRow("both quotes") << "\"'" << -1 << QList<int>{};
    QTest::newRow("name with quote") << "a\"b" << 1 << QList<int>{1};
    QTest::newRow("quoted condition") << "\" or \"1\"=\"1" << -1 << QList<int>{};
    QTest::newRow("statement") << "'; DROP TABLE DRUG_ZB; --" << -1 << QList<int>{};
    QTest::newRow("percent alone") << "%" << -1 << all;
    QTest::newRow("name with percent") << "50%" << 3 << QList<int>{3};
    QTest::newRow("underscore alone") << "_" << -1 << all;
    QTest::newRow("underscore") << "a_b" << 4 << QList<int>{1, 2, 4, 6, 7};
    QTest::newRow("underscore upper case") << "A_B" << 4 << QList<int>{1, 2, 4, 6, 7};
    QTest::newRow("brackets") << "[ab]" << 5 << QList<int>{5};
    QTest::newRow("open bracket") << "[" << 5 << QList<int>{5};
    QTest::newRow("close bracket") << "]" << -1 << QList<int>{5};
    QTest::newRow("backslash") << "\\" << -1 << QList<int>{6};
    QTest::newRow("name with backslash") << "a\\b" << 6 << QList<int>{6};
    QTest::newRow("semicolon") << ";" << -1 << QList<int>{7};
    QTest::newRow("blanks around") << " 黄芪 " << 8 << QList<int>{8};
    QTest::newRow("trimmed name, an other name") << "黄芪" << 8 << QList<int>{8};
    QTest::newRow("only blanks") << "   " << 9 << QList<int>{9};
    QTest::newRow("one blank") << " " << -1 << QList<int>{8, 9};
    QTest::newRow("control characters") << "\t\x01x\x1f" << 10 << QList<int>{10};
    QTest::newRow("one control character, an other name's start") << "\x01" << 10 << QList<int>{10};
    QTest::newRow("outside the BMP") << "𠀀𝔸" << 11 << QList<int>{11};
    QTest::newRow("one outside the BMP, the letter A") << "𝔸" << Several << QList<int>{11};
    QTest::newRow("10000 stored") << QString(10000, QChar(u'长')) << 12 << QList<int>{12};
    QTest::newRow("10000 other") << QString(10000, QChar(u'x')) << -1 << QList<int>{};
    QTest::newRow("latin case") << "GINSENG" << 13 << QList<int>{13};
    QTest::newRow("latin part") << "gin" << 13 << QList<int>{13};
    QTest::newRow("20000 stored") << Stored[14] << 14 << QList<int>{14};
    QTest::newRow("17000 part, latin case") << QString(17000, QChar(u'草')) + QStringLiteral("END") << -1 << QList<int>{14};
    // Too long a pattern for the engine's LIKE, and still searched as one.
    QTest::newRow("20000 with % and _") << QString(10000, QChar(u'草')) + u'%' + QString(9999, QChar(u'草')) + QStringLiteral("_ND")
                                        << -1 << QList<int>{14};
    QTest::newRow("20000 with _, none") << QString(10000, QChar(u'长')) + u'_' + QString(10000, QChar(u'长')) << -1 << QList<int>{};
    QTest::newRow("40000 with %") << QString(20000, QChar(u'%')) + QString(20000, QChar(u'草')) + QStringLiteral("eNd") << -1
                                  << QList<int>{14};
    QTest::newRow("20000 other") << QString(20000, QChar(u'长')) << -1 << QList<int>{};
}

QTEST_MAIN(TestLookup)
#include "test_lookup.moc"
