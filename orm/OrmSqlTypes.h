#pragma once
// SQL column types by member type name. Entries may be replaced at any time
// (a project open maps "double" to REAL); statements look the type up when
// they are generated, so a change applies to every later table and upgrade.

#include <QString>

namespace orm {

struct Member;

class SqlTypes
{
public:
    // Sets (or replaces) the SQL type for a member type name.
    static void set(const QString& typeName, const QString& sqlType);
    // Drops an entry; the built-in default applies again.
    static void remove(const QString& typeName);
    // The map's entry, else the built-in default: int and long long INTEGER,
    // double FLOAT, QString TEXT, QByteArray BLOB (anything else TEXT).
    static QString sqlType(const QString& typeName);
    // The column type of a member (a many-to-one column has its key's type).
    static QString sqlType(const Member& member);
};

} // namespace orm
