#pragma once

#include "DescrRegistry.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

// A work folder (the current folder) with the run log kept apart in "app", and the descriptors of
// the demo settings: goods "Tovar", receipt "Prihod", results "Ostatki" (goods layout, 64 bytes),
// weight codes "Vescod" (56 bytes), the list "Spisok".
namespace ExchangeFixtures {

using Fixtures::field;

inline TableDescr listTable()
{
    return Fixtures::table("TAB", "Spisok", ';',
        { field("NAME", FieldType::Text, 32, LenRule::Minimal), field("SPTYPE", FieldType::Text, 12),
            field("TYPE", FieldType::Integer, 1), field("NUMBER", FieldType::Text, 16, LenRule::Minimal),
            field("COUNT", FieldType::Integer, 10), field("DATE", FieldType::Date, 8),
            field("TIME", FieldType::Time, 5), field("FLAG", FieldType::Text, 1) });
}

inline TableDescr weightTable()
{
    return Fixtures::table("WGT", "Vescod", ';',
        { field("LEN", FieldType::Integer, 2), field("PREFIX", FieldType::Text, 15, LenRule::Minimal),
            field("LAYOUT", FieldType::Text, 31, LenRule::Minimal), field("SCALE", FieldType::Integer, 1) });
}

inline void fillRegistry()
{
    DescrRegistry& r = descrRegistry();
    r.clear();
    for (const char* ext : { "TVR", "PRH", "RES" }) {
        TableDescr t = Fixtures::goods();
        t.extension = ext;
        t.name = t.workName = t.pname = ext[0] == 'T' ? "Tovar" : ext[0] == 'P' ? "Prihod" : "Ostatki";
        *r.table(ext) = t;
    }
    *r.table("WGT") = weightTable();
    *r.table("TAB") = listTable();
}

// The names in dir, sorted, hidden ones included.
inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct Folders {
    std::unique_ptr<QTemporaryDir> root;
    QString work;
    QString runLog;

    bool make()
    {
        root = std::make_unique<QTemporaryDir>();
        work = root->filePath(QStringLiteral("work"));
        const QString app = root->filePath(QStringLiteral("app"));
        if (!root->isValid() || !QDir().mkpath(work) || !QDir().mkpath(app) || !QDir::setCurrent(work))
            return false;
        runLog = TestUtil::openRunLogIn(app);
        return true;
    }
    QString path(const QString& name) const { return QDir(work).filePath(name); }
    QString path(const char* name) const { return path(QString::fromUtf8(name)); }
    QByteArray log() const { return TestUtil::readFile(runLog); }
};

} // namespace ExchangeFixtures
