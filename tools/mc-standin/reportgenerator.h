#pragma once
// Makes realistic erasure reports: phones of several makers and, less often, computers, with erasures,
// hardware tests, custom fields and the other fields a console indexes.

#include <QDateTime>
#include <QString>

#include <random>

class QXmlStreamWriter;

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

    // Reports shorter than `bytes` get a station process log long enough to reach it, as stations
    // that log every step send them; 0 leaves them as they are. The random sequence stays the same.
    void setMinimumSize(int bytes) { m_minimumSize = bytes; }

    // Share of the optional catalogue fields that a generated report carries.
    static constexpr double kCatalogueShare = 0.6;

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
    // A desktop or laptop erased by the drive eraser.
    QString computerReport(const QDateTime& date);
    // The operator's fields (purchase order, customer; the grade for phones).
    void writeUserData(QXmlStreamWriter& xml, const QDateTime& date, bool graded);
    // The report text with the catalogue's fields for its kind added.
    QString withCatalogueFields(const QString& text, char kind);
    Report generate(const QDateTime& date);
    void pad(QString& xml) const;

    std::mt19937 m_random;
    int m_minimumSize = 0;
};
