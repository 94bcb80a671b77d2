#pragma once
// Makes realistic mobile-erasure reports (phones of several makers, erasures, hardware tests, custom fields).

#include <QDateTime>
#include <QString>

#include <random>

class ReportGenerator
{
public:
    struct Report
    {
        QString xml;
        bool exported = true;
        bool issue = false;
    };

    // The same seed gives the same sequence of reports for the same dates.
    explicit ReportGenerator(quint32 seed);

    // One report dated `date` (the product's log entry; the console's entry follows a little later).
    Report next(const QDateTime& date);

    // Luhn check digit of a digit string (IMEIs end with it).
    static int luhnCheckDigit(const QString& digits);

private:
    int uniform(int low, int high);
    bool chance(double probability);
    template <typename T, size_t N> const T& pick(const T (&items)[N])
    {
        return items[uniform(0, int(N) - 1)];
    }
    QString digits(int count);
    QString alphanumeric(int count);
    QString hex(int count, bool upper);
    QString uuid();

    std::mt19937 m_random;
};
