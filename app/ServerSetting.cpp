#include "app/ServerSetting.h"
#include "data/DbError.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

namespace app {

QString iniValue(const QString &text, const QString &group, const QString &key)
{
    QString current;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = line.mid(1, line.size() - 2).trimmed().toString();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && current.compare(group, Qt::CaseInsensitive) == 0
            && line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed().toString();
    }
    return {};
}

QString configuredServer(const QStringList &arguments, const QString &programFolder)
{
    QCommandLineParser parser;
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("CONNINFO"));
    parser.addOption(server);
    if (!parser.parse(arguments))
        throw data::DbError(parser.errorText());
    if (parser.isSet(server))
        return parser.value(server);
    QFile ini(QDir(programFolder).filePath(QStringLiteral("zelkano.ini")));
    if (!ini.open(QIODevice::ReadOnly))
        return {};
    return iniValue(QString::fromUtf8(ini.readAll()), QStringLiteral("database"), QStringLiteral("server"));
}

} // namespace app
