#include "lookup/CombinedQuery.h"
#include "data/DrugFields.h"

CombinedQuery::CombinedQuery(const QStringList &texts) : m_tests(QStringLiteral("1=1"))
{
    for (int box = 1; box <= data::SearchBoxCount; ++box) {
        const QString text = texts.value(box - 1);
        if (text.isEmpty())
            continue;
        const QString parameter = QStringLiteral(":p%1").arg(box);
        QString pattern = QLatin1Char('%') + text + QLatin1Char('%');
        // A text too long for the engine's LIKE without wildcards is searched
        // as a plain substring, with the same case rule for Latin letters;
        // one with wildcards by our own matcher of LIKE's meaning, registered
        // on the connection.
        const bool tooLong = pattern.toUtf8().size() > LikePatternLimit;
        const bool substring = tooLong && !text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('_'));
        const auto test = [&](const QString &column) {
            if (substring)
                return QStringLiteral("instr(lower(%1), lower(%2)) > 0").arg(column, parameter);
            return tooLong ? QStringLiteral("long_like(%2, %1)").arg(column, parameter)
                           : QStringLiteral("%1 like %2").arg(column, parameter);
        };
        if (substring)
            pattern = text;
        const QStringList columns = data::boxColumns(box);
        if (columns.size() == 2)
            m_tests += QStringLiteral(" and ( %1   or  %2)").arg(test(columns[0]), test(columns[1]));
        else
            m_tests += QStringLiteral(" and  ") + test(columns[0]);
        m_parameters.emplace_back(parameter.mid(1), pattern);
        m_filled.push_back({data::boxIndexField(box), text});
    }
}

QString CombinedQuery::statement(const QString &where)
{
    return QStringLiteral("select ID,类别,药物名称 from DRUG_ZB  where ") + where + QStringLiteral(" order by LB,ID");
}

QString CombinedQuery::sql(data::Connection &connection) const
{
    return statement(data::SearchIndex(connection).narrow(m_filled, m_tests));
}

QString CombinedQuery::fullSql() const
{
    return statement(m_tests);
}
