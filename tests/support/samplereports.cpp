#include "samplereports.h"

#include <QFile>

namespace TestSupport {

QByteArray sampleReport()
{
    QFile f(QStringLiteral(LABELPRINTER_SOURCE_DIR "/tests/data/report-mobile-erasure.xml"));
    if (f.open(QIODevice::ReadOnly))
        return f.readAll();
    return {};
}

QString variantImei(int n)
{
    const QString body = QStringLiteral("35678910%1").arg(n, 6, 10, QLatin1Char('0'));
    int sum = 0;
    for (int i = 0; i < body.size(); ++i) {
        int digit = body.at(body.size() - 1 - i).digitValue();
        if (i % 2 == 0) {
            digit *= 2;
            if (digit > 9)
                digit -= 9;
        }
        sum += digit;
    }
    return body + QString::number((10 - sum % 10) % 10);
}

QString variantDocumentId(int n)
{
    return QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

QByteArray sampleReportVariant(const QString& manufacturer, int n, bool issue)
{
    QByteArray xml = sampleReport();
    xml.replace("<entry name=\"manufacturer\" type=\"string\">Apple</entry>",
                QStringLiteral("<entry name=\"manufacturer\" type=\"string\">%1</entry>")
                    .arg(manufacturer.toHtmlEscaped())
                    .toUtf8());
    xml.replace("F2LXK0QJHG7F", QStringLiteral("SER%1").arg(n, 6, 10, QLatin1Char('0')).toLatin1());
    xml.replace("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35", variantDocumentId(n).toLatin1());
    xml.replace(
        "<entry name=\"imei\" type=\"string\">356789104567892</entry>",
        QStringLiteral("<entry name=\"imei\" type=\"string\">%1</entry>").arg(variantImei(n)).toLatin1());
    if (issue)
        xml.replace("</korvex_data>",
                    "<korvex_issue_report><entries name=\"issues\"><entry name=\"problem_description\" "
                    "type=\"string\">Screen flickers</entry></entries></korvex_issue_report></korvex_data>");
    return xml;
}

QByteArray unrepeatedText(int size)
{
    QByteArray text;
    for (int n = 0; text.size() < size; ++n)
        text += QByteArray::number(n) + ' ';
    return text;
}

} // namespace TestSupport
