#include "DescrRegistry.h"

#include "Codec.h"

#include <QList>
#include <QString>

namespace {

QByteArray cp(const char* utf8)
{
    return fromUi(QString::fromUtf8(utf8));
}

struct ViewPair {
    QByteArray extension;
    QByteArray mode;
};

// The only view pairs with a slot, in slot order.
const QList<ViewPair>& viewPairs()
{
    static const QList<ViewPair> pairs = {
        { "TVR", cp("ВВОД") },
        { "TVR", cp("ДОБАВЛЕНИЕ") },
        { "TVR", cp("ПРОСМОТР") },
        { "PRH", cp("ВВОД") },
        { "PRH", cp("ДОБАВЛЕНИЕ") },
        { "PRH", cp("ПРОСМОТР") },
        { "RES", cp("ВВОД") },
        { "RES", cp("ВЫБОР") },
        { "RES", cp("ПРОСМОТР") },
        { "WGT", cp("ПРОСМОТР") },
        { "WGT", cp("НАСТРОЙКА") },
        { "TAB", cp("ПРОСМОТР") },
        { "TAB", cp("ВВОД") },
        { "TAB", cp("ЗАГРУЗКА") },
    };
    return pairs;
}

} // namespace

int DescrRegistry::tableSlot(const QByteArray& extension)
{
    static const char* const names[TableSlots] = { "TVR", "PRH", "RES", "WGT", "TAB" };
    for (int i = 0; i < TableSlots; ++i)
        if (extension == names[i])
            return i;
    return -1;
}

int DescrRegistry::viewSlot(const QByteArray& extension, const QByteArray& mode)
{
    const QList<ViewPair>& pairs = viewPairs();
    for (int i = 0; i < pairs.size(); ++i)
        if (pairs[i].extension == extension && pairs[i].mode == mode)
            return i;
    return -1;
}

int DescrRegistry::parmViewSlot(const QByteArray& name)
{
    static const char* const names[ParmViewSlots]
        = { "PROGRAMM", "FTP_CLIENT", "FTP_SERVER", "LOCAL_DIR", "OBMEN", "VVOD" };
    for (int i = 0; i < ParmViewSlots; ++i)
        if (name == names[i])
            return i;
    return -1;
}

TableDescr* DescrRegistry::table(const QByteArray& extension)
{
    const int slot = tableSlot(extension);
    return slot < 0 ? nullptr : &m_tables[slot];
}

ViewDescr* DescrRegistry::view(const QByteArray& extension, const QByteArray& mode)
{
    const int slot = viewSlot(extension, mode);
    return slot < 0 ? nullptr : &m_views[slot];
}

ParmViewDescr* DescrRegistry::parmView(const QByteArray& name)
{
    const int slot = parmViewSlot(name);
    return slot < 0 ? nullptr : &m_parmViews[slot];
}

void DescrRegistry::clear()
{
    for (TableDescr& t : m_tables)
        t = TableDescr();
    for (ViewDescr& v : m_views)
        v = ViewDescr();
    for (ParmViewDescr& p : m_parmViews)
        p = ParmViewDescr();
}

DescrRegistry& descrRegistry()
{
    static DescrRegistry registry;
    return registry;
}
