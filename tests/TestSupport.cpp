#include "TestSupport.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "data/Statement.h"

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

TestDatabase::TestDatabase() : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    data::DatabaseBuilder::createEmpty(m_path);
}

TestDatabase::TestDatabase(const QString &sampleDir) : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    data::DatabaseBuilder::buildFromSample(sampleDir, m_path, false);
}

TestDatabase::TestDatabase(const CopyOf &file) : m_path(m_dir.filePath(QStringLiteral("drug.mdb")))
{
    if (!QFile::copy(file.path, m_path))
        qFatal("cannot copy %s", qPrintable(file.path));
}

void TestDatabase::exec(const QString &sql, const QStringList &params) const
{
    data::Connection connection(m_path);
    connection.open();
    data::Statement statement(connection.handle(), sql);
    for (int i = 0; i < params.size(); ++i)
        statement.bind(i + 1, params[i]);
    while (statement.step()) {
    }
}

QString scalarIn(const QString &databasePath, const QString &sql, const QStringList &params)
{
    data::Connection connection(databasePath);
    connection.open();
    data::Statement statement(connection.handle(), sql);
    for (int i = 0; i < params.size(); ++i)
        statement.bind(i + 1, params[i]);
    return statement.step() ? statement.text(0) : QString();
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
    data::Connection connection(m_path);
    connection.open();
    QStringList names, marks;
    for (auto it = columns.begin(); it != columns.end(); ++it) {
        names << QLatin1Char('"') + it.key() + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    const QString sql = columns.isEmpty()
        ? QStringLiteral("INSERT INTO DRUG_ZB DEFAULT VALUES")
        : QStringLiteral("INSERT INTO DRUG_ZB (%1) VALUES (%2)").arg(names.join(','), marks.join(','));
    data::Statement statement(connection.handle(), sql);
    int i = 1;
    for (const QString &value : columns)
        statement.bind(i++, value);
    statement.step();
    return connection.lastInsertRowId();
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
