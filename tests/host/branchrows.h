#pragma once

#include "host/data/dataset.h"

#include <QVariantMap>

// A data set shaped like the aggregated-branch answers: IDMARCADO, CDFILIAL, NMFILIAL.
inline void loadBranchRows(host::TClientDataSet &dataSet, const QList<QStringList> &rows)
{
    if (dataSet.Fields().isEmpty()) {
        dataSet.AddField(QStringLiteral("IDMARCADO"), host::FieldType::FixedString, 1);
        dataSet.AddField(QStringLiteral("CDFILIAL"), host::FieldType::String, 4, true, QStringLiteral("Código"), 5);
        dataSet.AddField(QStringLiteral("NMFILIAL"), host::FieldType::String, 30, false, QStringLiteral("Nome"), 30);
    }
    QVariantList fields;
    for (const char *name : {"IDMARCADO", "CDFILIAL", "NMFILIAL"})
        fields.append(QVariantMap{{QStringLiteral("name"), QString::fromLatin1(name)}, {QStringLiteral("type"), QStringLiteral("string")}});
    QVariantList packetRows;
    for (const QStringList &row : rows)
        packetRows.append(QVariant(QVariantList(row.begin(), row.end())));
    dataSet.LoadFromPacket(QVariantMap{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), packetRows}});
}

inline QList<QStringList> fourBranches()
{
    return {{QStringLiteral("N"), QStringLiteral("0001"), QStringLiteral("EM Jardim")},
            {QStringLiteral("S"), QStringLiteral("0002"), QStringLiteral("EM Vila Nova")},
            {QStringLiteral("N"), QStringLiteral("0003"), QStringLiteral("EM Centro")},
            {QStringLiteral("N"), QStringLiteral("0004"), QStringLiteral("CEI Jardim Azul")}};
}
