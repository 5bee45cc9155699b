#pragma once

#include "pinyin/NameFinder.h"

#include <QString>
#include <QStringView>
#include <utility>
#include <vector>

namespace data {

class Connection;

// Finding drugs by the start of their names, pinyin, initials and other
// names (the keys of pinyin/), on the connection's file or server.

// Best first, as pinyin::findNames orders them.
std::vector<pinyin::NameMatch> findDrugNames(Connection &connection, QStringView typed, int limit = pinyin::MaxMatches);

// Whether the keys can be used: a database of an older layout, or with
// keys made from other readings, is searched by names alone. On a server
// this first takes in the keys of drugs other clients wrote.
bool nameKeysUsable(Connection &connection);

// The combined search's test that a drug's name (with `otherNames`, one of
// its other names) has a reading, or its initials, starting with a prefix
// whose bounds are bound to the parameters `from` and `to` (":k1", say).
QString nameKeyTest(bool otherNames, const QString &from, const QString &to);
std::pair<QString, QString> nameKeyBounds(const QString &prefix);
// The drugs that test holds for, in ascending order.
std::vector<qint64> nameKeyIds(Connection &connection, bool otherNames, const QString &prefix);

} // namespace data
