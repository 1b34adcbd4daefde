#pragma once

#include "IniReader.h"
#include "TableDescr.h"

class DescrRegistry;

// The TABLE, VIEW and PARMVIEW sections of "OrtSystem.ini". Each builds one descriptor from its
// key lines and files it into its registry slot at the section end.

class TableSection : public IniSection {
public:
    explicit TableSection(DescrRegistry& registry)
        : m_registry(registry)
    {
    }
    bool start(IniReader& reader) override;
    bool line(IniReader& reader, const QByteArray& raw) override;
    // Computes the layout; files by extension or reports 409 and drops the descriptor.
    bool end(IniReader& reader) override;
    const TableDescr& descr() const { return m_descr; }

private:
    bool field(IniReader& reader, const QByteArray& value);

    DescrRegistry& m_registry;
    TableDescr m_descr;
};

class ViewSection : public IniSection {
public:
    explicit ViewSection(DescrRegistry& registry)
        : m_registry(registry)
    {
    }
    bool start(IniReader& reader) override;
    bool line(IniReader& reader, const QByteArray& raw) override;
    // Files by (TABLEEXTENSION, MODE) or reports 410 and drops the descriptor.
    bool end(IniReader& reader) override;
    const ViewDescr& descr() const { return m_descr; }

private:
    bool column(IniReader& reader, const QByteArray& value);

    DescrRegistry& m_registry;
    ViewDescr m_descr;
};

class ParmViewSection : public IniSection {
public:
    explicit ParmViewSection(DescrRegistry& registry)
        : m_registry(registry)
    {
    }
    bool start(IniReader& reader) override;
    bool line(IniReader& reader, const QByteArray& raw) override;
    // Files by PARMNAME or reports 412 and drops the descriptor.
    bool end(IniReader& reader) override;
    const ParmViewDescr& descr() const { return m_descr; }

private:
    bool parm(IniReader& reader, const QByteArray& value);

    DescrRegistry& m_registry;
    ParmViewDescr m_descr;
};

// The three descriptor sections over one registry, registered together.
struct DescrSections {
    explicit DescrSections(DescrRegistry& registry)
        : table(registry)
        , view(registry)
        , parmView(registry)
    {
    }
    void registerWith(IniReader& reader)
    {
        reader.addSection(QByteArrayLiteral("TABLE"), &table);
        reader.addSection(QByteArrayLiteral("VIEW"), &view);
        reader.addSection(QByteArrayLiteral("PARMVIEW"), &parmView);
    }

    TableSection table;
    ViewSection view;
    ParmViewSection parmView;
};

// "FONT" of VIEW and PARMVIEW: a family, or a family, a comma and a point size. An empty value
// changes nothing; a size that does not parse sets 12 and fails.
bool applyFont(const QByteArray& value, QByteArray& family, qint32& size);

// The settings words of a field type and a length rule, as a FIELD line writes them.
QByteArray fieldTypeWord(FieldType type);
QByteArray lenRuleWord(LenRule rule);
