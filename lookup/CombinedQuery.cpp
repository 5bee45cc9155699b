#include "lookup/CombinedQuery.h"
#include "data/Connection.h"
#include "data/DrugFields.h"

CombinedQuery::CombinedQuery(const QStringList &texts)
{
    for (int box = 1; box <= data::SearchBoxCount; ++box) {
        const QString text = texts.value(box - 1);
        if (!text.isEmpty())
            m_filled.push_back({box, text});
    }
}

QString CombinedQuery::tests(data::Engine &engine)
{
    QString tests = QStringLiteral("1=1");
    m_parameters.clear();
    for (const data::SearchCriterion &c : m_filled) {
        const QString parameter = QStringLiteral(":p%1").arg(c.box);
        QString pattern;
        const QStringList columns = data::boxColumns(c.box);
        const QString first = engine.containsTest(columns[0], parameter, c.typed, pattern);
        // The plant-form box tests either of its two columns.
        if (columns.size() == 2)
            tests += QStringLiteral(" and ( %1   or  %2)").arg(first, engine.containsTest(columns[1], parameter, c.typed, pattern));
        else
            tests += QStringLiteral(" and  ") + first;
        m_parameters.emplace_back(parameter.mid(1), pattern);
    }
    return tests;
}

QString CombinedQuery::statement(data::Engine &engine, const QString &where)
{
    return QStringLiteral("select ID,类别,药物名称 from DRUG_ZB  where ") + where + QStringLiteral(" order by ")
           + engine.listOrder();
}

QString CombinedQuery::sql(data::Connection &connection)
{
    data::Engine &engine = connection.engine();
    const QString where = tests(engine);
    return statement(engine, engine.narrow(m_filled, where, m_parameters));
}

QString CombinedQuery::fullSql(data::Connection &connection)
{
    data::Engine &engine = connection.engine();
    return statement(engine, tests(engine));
}
