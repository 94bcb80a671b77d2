#include "shared/erasurestandards.h"

const QVector<ErasureStandards::Standard>& ErasureStandards::table()
{
    // Numbers are stable: layouts and stored device records refer to them.
    static const QVector<Standard> standards = {
        {1, "Overwrite, 1 round (zeros)", 1},
        {2, "Overwrite, 1 round (random)", 1},
        {3, "Overwrite, 3 rounds", 3},
        {4, "Overwrite, 7 rounds", 7},
        {5, "Overwrite, 35 rounds", 35},
        {6, "NIST 800-88 Clear", 1},
        {7, "NIST 800-88 Purge", 1},
        {8, "Cryptographic erasure", 1},
        {9, "Factory reset", 0},
        {10, "Overwrite, %1 rounds", -1},
        {kSmartReset, "Android smart reset (%1)", 1},
    };
    return standards;
}

const ErasureStandards::Standard* ErasureStandards::find(int number)
{
    for (const Standard& standard : table()) {
        if (standard.number == number)
            return &standard;
    }
    return nullptr;
}

int ErasureStandards::numberForName(const QString& name)
{
    const QString wanted = name.trimmed();
    if (wanted.isEmpty())
        return 0;
    for (const Standard& standard : table()) {
        if (QString::fromLatin1(standard.name).compare(wanted, Qt::CaseInsensitive) == 0)
            return standard.number;
    }
    return 0;
}

QString ErasureStandards::name(int number, int parameter)
{
    const Standard* standard = find(number);
    if (!standard)
        return QString();
    QString text = QString::fromLatin1(standard->name);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(parameter);
    return text;
}

int ErasureStandards::rounds(int number, int parameter)
{
    const Standard* standard = find(number);
    if (!standard)
        return -1;
    return standard->rounds < 0 ? parameter : standard->rounds;
}
