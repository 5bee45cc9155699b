#pragma once

#include "data/postgres/PgConnection.h"

#include <QString>
#include <QTest>

// A database of its own on the private test server that ctest starts
// (ZELKANO_TEST_SERVER holds its conninfo), dropped at the end.
class PgTestDatabase
{
public:
    static QString serverConninfo() { return qEnvironmentVariable("ZELKANO_TEST_SERVER"); }

    PgTestDatabase()
    {
        static int counter = 0;
        m_name = QStringLiteral("zt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        admin().execScript(QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8' TEMPLATE template0").arg(m_name));
    }
    ~PgTestDatabase()
    {
        try {
            admin().execScript(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
        } catch (...) {
        }
    }
    QString conninfo() const { return serverConninfo() + QStringLiteral(" dbname=") + m_name; }

private:
    data::pg::Connection &admin()
    {
        if (!m_admin.isOpen())
            m_admin.open(serverConninfo());
        return m_admin;
    }
    QString m_name;
    data::pg::Connection m_admin;
};

#define REQUIRE_TEST_SERVER()                                                                                  \
    do {                                                                                                       \
        if (PgTestDatabase::serverConninfo().isEmpty())                                                        \
            QSKIP("ZELKANO_TEST_SERVER is not set: run through ctest, which starts the private server");      \
    } while (false)
