#include "TestSupport.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/DatabaseCopy.h"
#include "data/Statement.h"
#include "pg/PgTestDatabase.h"

#include <QApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QTest>

QStringList RecordingPresenter::texts() const
{
    QStringList result;
    for (const app::Message &m : messages)
        result << m.text;
    return result;
}

int RecordingPresenter::count(app::MessageForm form) const
{
    int n = 0;
    for (const app::Message &m : messages)
        n += m.form == form;
    return n;
}

namespace {
bool serverRow = false;
}

void addEngineRows()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void useEngineOfRow()
{
    QFETCH_GLOBAL(bool, server);
    serverRow = server;
    if (server && PgTestDatabase::serverConninfo().isEmpty())
        QSKIP("ZELKANO_TEST_SERVER is not set: run through ctest, which starts the private server");
}

bool onServer()
{
    return serverRow;
}

void locate(data::Connection &connection, const QString &location)
{
    if (data::isServerName(location))
        connection.setServer(location);
    else
        connection.setPath(location);
}

TestDatabase::TestDatabase() : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    data::DatabaseBuilder::createEmpty(m_path);
    toServer(m_path);
}

TestDatabase::TestDatabase(const QString &sampleDir) : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    data::DatabaseBuilder::buildFromSample(sampleDir, m_path, false);
    toServer(m_path);
}

TestDatabase::TestDatabase(const CopyOf &file) : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    if (!QFile::copy(file.path, m_path))
        qFatal("cannot copy %s", qPrintable(file.path));
    toServer(m_path);
}

TestDatabase::~TestDatabase() = default;

// On the server row, the file made is copied exactly to a database of its own.
void TestDatabase::toServer(const QString &file)
{
    if (!serverRow)
        return;
    m_server = std::make_unique<PgTestDatabase>();
    data::writeDatabase(m_server->conninfo(), data::readDatabase(file), false);
    m_path = m_server->conninfo();
}

void TestDatabase::exec(const QString &sql, const QStringList &params) const
{
    data::Connection connection;
    locate(connection, m_path);
    connection.open();
    const std::unique_ptr<data::Query> statement = connection.engine().prepare(sql);
    for (int i = 0; i < params.size(); ++i)
        statement->bind(i + 1, params[i]);
    while (statement->step()) {
    }
}

QString scalarIn(const QString &databasePath, const QString &sql, const QStringList &params)
{
    data::Connection connection;
    locate(connection, databasePath);
    connection.open();
    const std::unique_ptr<data::Query> statement = connection.engine().prepare(sql);
    for (int i = 0; i < params.size(); ++i)
        statement->bind(i + 1, params[i]);
    return statement->step() ? statement->text(0) : QString();
}

QString TestDatabase::scalar(const QString &sql, const QStringList &params) const
{
    return scalarIn(m_path, sql, params);
}

void TestDatabase::addCategory(const QString &bm, const QString &mc)
{
    exec(QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES (?, ?)"), {bm, mc});
}

qint64 TestDatabase::addDrug(const QMap<QString, QString> &columns)
{
    data::Connection connection;
    locate(connection, m_path);
    connection.open();
    QStringList names;
    for (auto it = columns.begin(); it != columns.end(); ++it)
        names << it.key(); // unquoted: LB is lb to the server
    data::Engine &engine = connection.engine();
    const std::unique_ptr<data::Query> statement = engine.prepare(engine.insertSql(QStringLiteral("DRUG_ZB"), names));
    int i = 1;
    for (const QString &value : columns)
        statement->bind(i++, value);
    statement->step();
    return engine.insertedKey(*statement);
}

void TestDatabase::addHelpTopic(const QString &bm, const QString &mc)
{
    exec(QStringLiteral("INSERT INTO HELP_LB (BM, MC) VALUES (?, ?)"), {bm, mc});
}

void TestDatabase::addHelpText(const QString &lb, const QString &content)
{
    exec(QStringLiteral("INSERT INTO HELP_ZB (LB, CONTENT) VALUES (?, ?)"), {lb, content});
}

QString sampleDataDir()
{
    return QStringLiteral(ZELKANO_SOURCE_DIR "/sampledata");
}

void typeText(QWidget *widget, const QString &text)
{
    widget->setFocus();
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}
