#pragma once

#include "app/MainForm.h"
#include "app/Messages.h"
#include "data/Connection.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

// Records every message box instead of showing it, while it lives.
class RecordingPresenter : public app::MessagePresenter
{
public:
    RecordingPresenter() : m_previous(&app::MessagePresenter::current()) { app::MessagePresenter::setCurrent(this); }
    ~RecordingPresenter() override { app::MessagePresenter::setCurrent(m_previous); }
    void show(const app::Message &message) override
    {
        messages << message;
        if (onShow)
            onShow(message);
    }
    QStringList texts() const;
    int count(app::MessageForm form) const;
    void clear() { messages.clear(); }

    QList<app::Message> messages;
    std::function<void(const app::Message &)> onShow;

private:
    app::MessagePresenter *m_previous;
};

// A new encrypted drug database in a temporary folder, with rows added by
// the test.
class TestDatabase
{
public:
    TestDatabase();                                   // empty tables
    explicit TestDatabase(const QString &sampleDir);  // from JSON files
    struct CopyOf {
        QString path;
    };
    explicit TestDatabase(const CopyOf &file);        // a copy of a file, a template built once say
    const QString &path() const { return m_path; }
    QString dir() const { return m_dir.path(); }

    void addCategory(const QString &bm, const QString &mc);
    // Columns not given stay NULL; returns the new ID.
    qint64 addDrug(const QMap<QString, QString> &columns);
    void addHelpTopic(const QString &bm, const QString &mc);
    void addHelpText(const QString &lb, const QString &content);
    // A scalar read through a separate connection, as another program would.
    QString scalar(const QString &sql, const QStringList &params = {}) const;
    void exec(const QString &sql, const QStringList &params = {}) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QString sampleDataDir();
// A scalar read through a connection of its own, as another program would.
QString scalarIn(const QString &databasePath, const QString &sql, const QStringList &params = {});
// Types text as the user does (QTest::keyClicks is ASCII only).
void typeText(QWidget *widget, const QString &text);
