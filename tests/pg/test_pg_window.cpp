// The window on a server: start-up outcomes, changes that reach other
// computers, two computers saving one record, and the server's faults.
#include "GuiFixture.h"
#include "PgTestDatabase.h"
#include "data/DatabaseCopy.h"
#include "widgets/DbMemo.h"
#include "widgets/Memo.h"
#include "widgets/TreeView.h"

#include <QtTest>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString SaveFailed = u"保存失败！原因："_s;

// A database of its own on the test server holding the sample.
struct Server {
    PgTestDatabase db;
    data::pg::Connection admin;
    explicit Server(const data::StoredRows &rows)
    {
        data::writeDatabase(db.conninfo(), rows, false);
        admin.open(db.conninfo());
    }
    QString conninfo() const { return db.conninfo(); }
    void exec(const QString &sql) { admin.execScript(sql); }
    // Every other session of this database ends, as a server shutting down ends them.
    void dropSessions()
    {
        exec(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() "
             "AND pid <> pg_backend_pid()"_s);
    }
    qint64 id(const QString &name)
    {
        return admin.exec(u"SELECT min(ID) FROM DRUG_ZB WHERE 药物名称 = $1"_s, {name.toUtf8()}).int64(0, 0);
    }
};

void expectSaveFailure(GuiFixture &window, const QString &cause)
{
    QCOMPARE(window.presenter.messages.size(), 1);
    const QString text = window.presenter.messages.first().text;
    QVERIFY2(text.startsWith(SaveFailed) && text.contains(cause), qPrintable(text));
    window.presenter.clear();
}

} // namespace

class TestPgWindow : public QObject
{
    Q_OBJECT

    data::StoredRows m_sample;

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVER();
        TestDatabase file(sampleDataDir());
        m_sample = data::readDatabase(file.path());
    }

    // The connection-failure box with libpq's reason, then the error report,
    // then the window with empty trees, as after a failed file.
    void testStartWithoutTheServersTables_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no server") << false << "No such file or directory";
        QTest::newRow("no tables") << true << "relation \"drug_lb\" does not exist";
    }
    void testStartWithoutTheServersTables()
    {
        QFETCH(bool, reachable);
        QFETCH(QString, reason);
        PgTestDatabase empty;
        GuiFixture window(reachable ? empty.conninfo() : u"host=/nonexistent-zelkano port=5432 dbname=x"_s);
        QVERIFY(window.running());
        const QStringList texts = window.presenter.texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].startsWith(u"数据库连接失败！原因："_s) && texts[0].contains(reason), qPrintable(texts[0]));
        QVERIFY2(texts[1].contains(reason), qPrintable(texts[1]));
        QCOMPARE(window.f().tv1->nodeCount(), 0);
        QCOMPARE(window.f().tv4->nodeCount(), 0);
    }

    // A change by another client shows within a second: the tree, the result
    // list, the sheet on screen, the help page; an unsaved edit stays, and
    // its save keeps the other client's change to another column.
    void testChangesReachOtherComputers()
    {
        Server server(m_sample);
        GuiFixture window(server.conninfo());
        const qint64 id = server.id(u"麻黄"_s);
        window.f().ShowDrug(QString::number(id), window.f().Memo1);
        window.showPage(TFormMain::DrugEntryPage);
        window.entry.load(u"麻黄"_s);
        typeAtEnd(window.entry.memo(u"别名"_s), u"（未存）"_s);
        const int drugs = window.f().tv1->nodeCount();

        // In the tree: a drug added to the first category (last, by its
        // ID), one moved to the last category, one renamed, one deleted.
        TreeView *tree = window.f().tv1;
        const int lastCategory = tree->topLevelItemCount() - 1;
        const QString moved = tree->topLevelItem(0)->child(0)->text(0), renamed = tree->topLevelItem(0)->child(1)->text(0),
                      deleted = tree->topLevelItem(lastCategory)->child(0)->text(0);
        const QTreeWidgetItem *untouched = tree->topLevelItem(0)->child(2);
        // The list of every named drug: one left without a name leaves it.
        const auto *unnamed = static_cast<const TreeNode *>(tree->topLevelItem(1)->child(0));
        const QString unnamedKey = unnamed->nodeKey()->key,
                      deletedKey = static_cast<const TreeNode *>(tree->topLevelItem(lastCategory)->child(0))->nodeKey()->key;
        window.combinedQuery.search({{2, u"%"_s}});
        TreeView *list = window.f().tv2;
        const auto listed = [list] {
            QStringList rows;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                rows << static_cast<const TreeNode *>(list->topLevelItem(i))->nodeKey()->key + u' ' + list->topLevelItem(i)->text(0);
            return rows;
        };
        const int untouchedRow = listed().indexOf(QRegularExpression(static_cast<const TreeNode *>(untouched)->nodeKey()->key + u" .*"_s));
        QTreeWidgetItem *untouchedListed = list->topLevelItem(untouchedRow);
        server.exec(u"UPDATE DRUG_ZB SET 药物名称 = NULL WHERE 药物名称 = '%1'"_s.arg(unnamed->text(0)));
        server.exec(u"UPDATE DRUG_ZB SET 附注 = '别处改的' WHERE 药物名称 = '麻黄';"
                    "INSERT INTO DRUG_ZB (LB, 药物名称) SELECT BM, '新药' FROM DRUG_LB ORDER BY ROWID LIMIT 1;"
                    "UPDATE DRUG_ZB SET LB = (SELECT BM FROM DRUG_LB ORDER BY ROWID DESC LIMIT 1) WHERE 药物名称 = '%1';"
                    "UPDATE DRUG_ZB SET 药物名称 = '改名' WHERE 药物名称 = '%2';"
                    "DELETE FROM DRUG_ZB WHERE 药物名称 = '%3';"
                    "UPDATE HELP_LB SET MC = '新题目' WHERE ROWID = (SELECT min(ROWID) FROM HELP_LB)"_s.arg(moved, renamed, deleted));
        QTRY_VERIFY_WITH_TIMEOUT(window.f().Memo1->lines().join(u'\n').contains(u"别处改的"_s), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(window.f().tv1->nodeCount(), drugs, 1000);
        const QTreeWidgetItem *first = tree->topLevelItem(0), *last = tree->topLevelItem(lastCategory);
        QCOMPARE(first->child(first->childCount() - 1)->text(0), u"新药"_s);
        QCOMPARE(first->child(0)->text(0), u"改名"_s);
        QCOMPARE(first->child(1), untouched); // changed in place, not read afresh
        QStringList lastDrugs;
        for (int i = 0; i < last->childCount(); ++i)
            lastDrugs << last->child(i)->text(0);
        QVERIFY2(lastDrugs.contains(moved) && !lastDrugs.contains(deleted), qPrintable(lastDrugs.join(u',')));
        QTRY_COMPARE_WITH_TIMEOUT(window.f().tv4->topLevelItem(0)->text(0), u"新题目"_s, 1000);
        // The list as the full search gives it, its untouched rows kept.
        QTRY_VERIFY_WITH_TIMEOUT(listed().filter(u"：新药"_s).size() == 1, 1000);
        const QStringList inPlace = listed();
        QVERIFY(untouchedRow >= 0 && inPlace.filter(QRegularExpression(u"^(%1|%2) "_s.arg(unnamedKey, deletedKey))).isEmpty());
        QVERIFY2(list->indexOfTopLevelItem(untouchedListed) >= 0, "an untouched row was listed anew");
        window.combinedQuery.search({{2, u"%"_s}});
        QCOMPARE(inPlace, listed());
        QVERIFY(window.entry.memo(u"别名"_s)->toPlainText().endsWith(u"（未存）"_s));

        window.entry.save();
        QCOMPARE(window.presenter.texts(), QStringList{u"保存成功！"_s});
        QVERIFY(window.entry.stored(id, u"别名"_s).endsWith(u"（未存）"_s));
        QCOMPARE(window.entry.stored(id, u"附注"_s), u"别处改的"_s);
    }

    // Two computers save one record: the first wins, the second is told.
    void testTwoComputersSaveOneRecord()
    {
        Server server(m_sample);
        GuiFixture first(server.conninfo()), second(server.conninfo());
        for (GuiFixture *window : {&first, &second}) {
            window->activate();
            window->showPage(TFormMain::DrugEntryPage);
            window->entry.load(u"麻黄"_s);
            typeAtEnd(window->entry.memo(u"别名"_s), window == &first ? u"甲"_s : u"乙"_s);
        }
        // The newest presenter is the current one: it hears both windows.
        first.activate();
        first.entry.save();
        QCOMPARE(second.presenter.texts(), QStringList{u"保存成功！"_s});
        second.presenter.clear();
        second.activate();
        second.entry.save();
        expectSaveFailure(second, u"修改或删除"_s);
        QVERIFY(first.entry.stored(server.id(u"麻黄"_s), u"别名"_s).endsWith(u"甲"_s));
        QVERIFY(second.entry.memo(u"别名"_s)->toPlainText().endsWith(u"乙"_s));
    }

    // The server goes away: the next action reports libpq's reason within
    // 5 s and keeps the edit; once it is back, the next action reconnects.
    void testServerGoneThenBack()
    {
        Server server(m_sample);
        GuiFixture window(server.conninfo());
        window.showPage(TFormMain::DrugEntryPage);
        window.entry.load(u"麻黄"_s);
        typeAtEnd(window.entry.memo(u"别名"_s), u"改"_s);
        const QString name = server.admin.exec(u"SELECT current_database()"_s).text(0, 0);
        data::pg::Connection maintenance;
        maintenance.open(PgTestDatabase::serverConninfo());
        maintenance.execScript(u"ALTER DATABASE %1 ALLOW_CONNECTIONS false"_s.arg(name));
        server.dropSessions();
        QElapsedTimer clock;
        clock.start();
        window.entry.save();
        QVERIFY(clock.elapsed() < 5000);
        expectSaveFailure(window, u"terminating connection due to administrator command"_s);
        QVERIFY(window.entry.memo(u"别名"_s)->toPlainText().endsWith(u"改"_s));
        window.entry.save();
        expectSaveFailure(window, u"is not currently accepting connections"_s);

        maintenance.execScript(u"ALTER DATABASE %1 ALLOW_CONNECTIONS true"_s.arg(name));
        window.entry.save();
        QCOMPARE(window.presenter.texts(), QStringList{u"保存成功！"_s});
        QVERIFY(window.entry.stored(server.id(u"麻黄"_s), u"别名"_s).endsWith(u"改"_s));
    }

    // The server is killed during a save: nothing is half-written.
    void testKilledDuringSaveWritesNothing()
    {
        Server server(m_sample);
        server.exec(u"CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(3); "
                    "RETURN NEW; END $$; CREATE TRIGGER SLOW BEFORE UPDATE ON DRUG_ZB FOR EACH ROW EXECUTE FUNCTION slow()"_s);
        GuiFixture window(server.conninfo());
        window.showPage(TFormMain::DrugEntryPage);
        window.entry.load(u"麻黄"_s);
        const QString before = window.entry.stored(server.id(u"麻黄"_s), u"别名"_s);
        typeAtEnd(window.entry.memo(u"别名"_s), u"改"_s);
        std::thread killer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            data::pg::Connection other;
            other.open(server.conninfo());
            other.execScript(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() "
                             "AND pid <> pg_backend_pid() AND query LIKE 'UPDATE%'"_s);
        });
        window.entry.save();
        killer.join();
        expectSaveFailure(window, u"terminating connection"_s);
        QCOMPARE(window.entry.stored(server.id(u"麻黄"_s), u"别名"_s), before);
    }

    // A role that may only read: the save fails with the server's reason
    // and writes nothing; so does the delete, through the error report.
    void testReadOnlyRole()
    {
        Server server(m_sample);
        const QString role = u"zt_lookup_%1"_s.arg(QCoreApplication::applicationPid());
        server.exec(u"DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1"_s.arg(role));
        const auto dropRole = qScopeGuard([&] { server.exec(u"DROP OWNED BY %1; DROP ROLE %1"_s.arg(role)); });
        {
            GuiFixture window(server.conninfo() + u" user="_s + role);
            window.showPage(TFormMain::DrugEntryPage);
            window.entry.load(u"麻黄"_s);
            typeAtEnd(window.entry.memo(u"别名"_s), u"改"_s);
            window.entry.save();
            expectSaveFailure(window, u"permission denied for table drug_zb"_s);
            window.entry.remove();
            QVERIFY2(window.presenter.texts().value(0).contains(u"permission denied for table drug_zb"_s),
                     qPrintable(window.presenter.texts().join(u'|')));
        }
        QCOMPARE(server.admin.exec(u"SELECT count(*) FROM DRUG_ZB WHERE 别名 LIKE '%改'"_s).int64(0, 0), 0);
        QVERIFY(server.id(u"麻黄"_s) > 0);
    }
};

QTEST_MAIN(TestPgWindow)
#include "test_pg_window.moc"
