#pragma once
// The table of erasure standards: number, display name, overwriting rounds.

#include <QString>
#include <QVector>

class ErasureStandards
{
public:
    struct Standard
    {
        int number;
        const char* name; // may hold "%1" for the standard's parameter
        int rounds;       // -1: the parameter gives the rounds
    };

    // The standard numbered `number`; null when the table has no such number.
    static const Standard* find(int number);
    // The number of the standard named `name` (compared ignoring case); 0 when unknown.
    static int numberForName(const QString& name);
    // Display name with the parameter filled in; empty for an unknown number.
    static QString name(int number, int parameter);
    // Overwriting rounds; -1 for an unknown number.
    static int rounds(int number, int parameter);

    static const QVector<Standard>& table();

    static constexpr int kSmartReset = 3000;
};
