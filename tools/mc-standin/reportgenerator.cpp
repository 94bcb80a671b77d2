#include "reportgenerator.h"

#include "cataloguefields.h"

#include <QDomDocument>

#include <QXmlStreamWriter>

namespace {

struct Model
{
    const char* manufacturer;
    const char* marketName;
    const char* modelNumber;
    const char* internalModel;
    const char* identifier;
    int capacityGb;
    int ramGb;
    const char* tac; // type allocation code: the first eight IMEI digits
};

const Model models[] = {
    {"Apple", "iPhone 11", "A2221", "N104AP", "iPhone12,1", 64, 4, "35391110"},
    {"Apple", "iPhone 12", "A2403", "D53gAP", "iPhone13,2", 128, 4, "35678910"},
    {"Apple", "iPhone 13", "A2633", "D17AP", "iPhone14,5", 128, 4, "35081631"},
    {"Apple", "iPhone 13 Pro", "A2638", "D63AP", "iPhone14,2", 256, 6, "35311574"},
    {"Apple", "iPhone SE", "A2783", "D49AP", "iPhone14,6", 64, 4, "35692522"},
    {"Samsung", "Galaxy S21", "SM-G991B", "o1s", "SM-G991B", 128, 8, "35291611"},
    {"Samsung", "Galaxy S22", "SM-S901B", "r0s", "SM-S901B", 256, 8, "35064573"},
    {"Samsung", "Galaxy A52", "SM-A525F", "a52q", "SM-A525F", 128, 6, "35468411"},
    {"Samsung", "Galaxy Note20", "SM-N981B", "c1s", "SM-N981B", 256, 8, "35371211"},
    {"Google", "Pixel 6", "GB7N6", "oriole", "Pixel 6", 128, 8, "35286511"},
    {"Google", "Pixel 7", "GVU6C", "panther", "Pixel 7", 128, 8, "35560572"},
    {"Google", "Pixel 7 Pro", "GE2AE", "cheetah", "Pixel 7 Pro", 256, 12, "35560573"},
    {"Motorola", "moto g52", "XT2221-1", "rhode", "moto g52", 128, 4, "35994728"},
    {"Motorola", "edge 30", "XT2203-1", "dubai", "edge 30", 128, 8, "35129364"},
    {"Xiaomi", "Redmi Note 11", "2201117TG", "spes", "Redmi Note 11", 64, 4, "86226105"},
    {"Xiaomi", "Xiaomi 12", "2201123G", "cupid", "Xiaomi 12", 256, 8, "86450805"},
};

struct Computer
{
    const char* manufacturer;
    const char* model;
    const char* chassis;
    const char* diskVendor;
    const char* diskModel;
    int diskGb;
    int ramGb;
};

const Computer computers[] = {
    {"Dell Inc.", "Latitude 5420", "Laptop", "Samsung", "PM981a NVMe", 512, 16},
    {"Dell Inc.", "OptiPlex 7090", "Desktop", "Western Digital", "WD Blue SN570", 256, 8},
    {"HP", "EliteBook 840 G8", "Laptop", "Kingston", "OM8PDP3512B", 512, 16},
    {"HP", "ProDesk 600 G6", "Desktop", "Seagate", "ST1000DM010", 1000, 8},
    {"Lenovo", "ThinkPad T14 Gen 2", "Laptop", "SK hynix", "PC711 NVMe", 512, 16},
    {"Lenovo", "ThinkCentre M70q", "Desktop", "Toshiba", "KBG40ZNS256G", 256, 8},
};

const char* const colours[] = {"Black", "White", "Blue", "Green", "Red", "Graphite", "Silver", "Purple"};
const char* const erasureStandards[] = {"Cryptographic erasure", "NIST 800-88 Clear", "NIST 800-88 Purge",
                                        "Overwrite x1"};
const char* const hardwareTests[] = {"camera_front", "camera_rear",      "touch_screen", "speaker",
                                     "microphone",   "proximity_sensor", "buttons",      "wifi",
                                     "bluetooth",    "vibration"};
const char* const comments[] = {"Cosmetic grade A",   "Cosmetic grade B, screen scratch",
                                "Back glass cracked", "Battery swollen",
                                "No visible damage",  "Frame dent, bottom left"};
const char* const customers[] = {"Northwind Refurb", "Contoso Mobile", "Fabrikam Trade-in",
                                 "Tailspin Recycling"};
const char* const issues[] = {"Device disconnected during erasure", "Erasure could not be verified",
                              "Device locked to an account", "Battery too low to continue"};

QString timeText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString isoWithOffset(const QDateTime& date)
{
    const QDateTime local = date.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

void writeEntry(QXmlStreamWriter& xml, const QString& name, const QString& value, const char* type = "string")
{
    xml.writeStartElement(QStringLiteral("entry"));
    xml.writeAttribute(QStringLiteral("name"), name);
    xml.writeAttribute(QStringLiteral("type"), QLatin1String(type));
    xml.writeCharacters(value);
    xml.writeEndElement();
}

void startEntries(QXmlStreamWriter& xml, const QString& name)
{
    xml.writeStartElement(QStringLiteral("entries"));
    xml.writeAttribute(QStringLiteral("name"), name);
}

void writeLogEntry(QXmlStreamWriter& xml, const QString& id, const QString& product, const QString& version,
                   const QDateTime& date)
{
    xml.writeStartElement(QStringLiteral("log_entry"));
    xml.writeStartElement(QStringLiteral("product_name"));
    xml.writeAttribute(QStringLiteral("id"), id);
    xml.writeAttribute(QStringLiteral("name"), product);
    xml.writeCharacters(product);
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("product_version"), version);
    xml.writeTextElement(QStringLiteral("date"), isoWithOffset(date));
    xml.writeEndElement();
}

// "description" with the document id and the log of the console and the product; leaves
// "description_entries" open for the caller's entries.
void startDescription(QXmlStreamWriter& xml, const QString& documentId, const QDateTime& consoleDate,
                      const QString& productId, const QString& product, const QString& version,
                      const QDateTime& date)
{
    xml.writeStartElement(QStringLiteral("description"));
    xml.writeTextElement(QStringLiteral("document_id"), documentId);
    xml.writeStartElement(QStringLiteral("document_log"));
    writeLogEntry(xml, QStringLiteral("51"), QStringLiteral("Korvex Management Console"),
                  QStringLiteral("4.6.1"), consoleDate);
    writeLogEntry(xml, productId, product, version, date);
    xml.writeEndElement(); // document_log
    startEntries(xml, QStringLiteral("description_entries"));
}

} // namespace

ReportGenerator::ReportGenerator(quint32 seed) : m_random(seed) {}

int ReportGenerator::uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool ReportGenerator::chance(double probability)
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < probability;
}

QString ReportGenerator::digits(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(char('0' + uniform(0, 9)));
    return text;
}

QString ReportGenerator::alphanumeric(int count)
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(alphabet[uniform(0, int(sizeof(alphabet)) - 2)]);
    return text;
}

QString ReportGenerator::hex(int count, bool upper)
{
    static const char lowerDigits[] = "0123456789abcdef";
    static const char upperDigits[] = "0123456789ABCDEF";
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char((upper ? upperDigits : lowerDigits)[uniform(0, 15)]);
    return text;
}

QString ReportGenerator::uuid()
{
    // Random (version 4) layout; one statement per draw keeps the sequence independent of the compiler.
    QString text = hex(8, false);
    text += QLatin1Char('-');
    text += hex(4, false);
    text += QLatin1String("-4");
    text += hex(3, false);
    text += QLatin1Char('-');
    text += QLatin1Char("89ab"[uniform(0, 3)]);
    text += hex(3, false);
    text += QLatin1Char('-');
    text += hex(12, false);
    return text;
}

int ReportGenerator::luhnCheckDigit(const QString& digits)
{
    int sum = 0;
    // Doubling starts at the rightmost digit, which sits left of the check digit.
    for (int i = 0; i < digits.size(); ++i) {
        int digit = digits.at(digits.size() - 1 - i).digitValue();
        if (i % 2 == 0) {
            digit *= 2;
            if (digit > 9)
                digit -= 9;
        }
        sum += digit;
    }
    return (10 - sum % 10) % 10;
}

ReportGenerator::Report ReportGenerator::next(const QDateTime& date)
{
    Report report = generate(date);
    if (report.xml.size() < m_minimumSize)
        pad(report.xml);
    return report;
}

void ReportGenerator::pad(QString& xml) const
{
    const int at = xml.lastIndexOf(QLatin1String("</korvex_data>"));
    if (at < 0)
        return;
    QString log = QStringLiteral("<korvex_process_log><entries name=\"process_log\">\n");
    for (int step = 0; xml.size() + log.size() < m_minimumSize; ++step)
        log += QStringLiteral("<entry name=\"step_%1\" type=\"string\">step %1 of the station's process: "
                              "checked and passed</entry>\n")
                   .arg(step);
    log += QLatin1String("</entries></korvex_process_log>");
    xml.insert(at, log);
}

ReportGenerator::Report ReportGenerator::generate(const QDateTime& date)
{
    Report report;
    report.issue = uniform(1, 15) == 1;
    report.exported = !chance(1.0 / 6.0);
    if (!report.issue && chance(0.25)) {
        report.xml = computerReport(date);
        return report;
    }

    const Model& model = pick(models);
    const QString manufacturer = QLatin1String(model.manufacturer);
    const bool apple = manufacturer == QLatin1String("Apple");
    const QString colour = QLatin1String(pick(colours));
    const QString capacity = QStringLiteral("%1GB").arg(model.capacityGb);
    const QString station = QStringLiteral("station-%1").arg(uniform(1, 12), 2, 10, QLatin1Char('0'));

    const QString imeiBody = QLatin1String(model.tac) + digits(6);
    const QString imei = imeiBody + QString::number(luhnCheckDigit(imeiBody));
    const QString imeiTwoBody = QLatin1String(model.tac) + digits(6);
    const QString imeiTwo =
        chance(0.6) ? imeiTwoBody + QString::number(luhnCheckDigit(imeiTwoBody)) : QString();
    const QString serial =
        apple ? alphanumeric(12)
              : (manufacturer == QLatin1String("Samsung") ? QLatin1String("R58") + alphanumeric(8)
                                                          : alphanumeric(uniform(8, 11)));
    const QString ecid = apple ? QStringLiteral("00") + hex(14, true) : QString();

    const bool erasureFailed = chance(0.12);
    const int elapsed = uniform(180, 1500);
    const QDateTime erasureStart = date.addSecs(-elapsed - uniform(60, 600));
    const QDateTime consoleDate = date.addSecs(uniform(30, 300));

    QString text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartElement(QStringLiteral("report"));
    xml.writeStartElement(QStringLiteral("korvex_data"));

    const QString documentId = uuid();
    const QString version = chance(0.7) ? QStringLiteral("7.2.0") : QStringLiteral("7.1.3");
    startDescription(xml, documentId, consoleDate, QStringLiteral("23"),
                     QStringLiteral("Korvex Mobile Eraser"), version, date);
    writeEntry(xml, QStringLiteral("operator"), station);
    const int line = uniform(1, 4);
    const int bay = uniform(1, 8);
    writeEntry(xml, QStringLiteral("location"), QStringLiteral("Line %1, Bay %2").arg(line).arg(bay));
    writeEntry(xml, QStringLiteral("comments"), QLatin1String(pick(comments)));
    xml.writeEndElement(); // entries
    xml.writeEndElement(); // description

    if (!report.issue) {
        xml.writeStartElement(QStringLiteral("korvex_erasure_report"));
        startEntries(xml, QStringLiteral("erasures"));
        startEntries(xml, QStringLiteral("erasure"));
        writeEntry(xml, QStringLiteral("timestamp"), isoWithOffset(erasureStart));
        writeEntry(xml, QStringLiteral("elapsed_time"), timeText(elapsed));
        writeEntry(xml, QStringLiteral("erasure_standard_name"),
                   apple ? QStringLiteral("Cryptographic erasure") : QLatin1String(pick(erasureStandards)));
        writeEntry(xml, QStringLiteral("overwriting_rounds"), QStringLiteral("1"), "uint");
        writeEntry(xml, QStringLiteral("state"),
                   erasureFailed ? QStringLiteral("Failed") : QStringLiteral("Successful"));
        startEntries(xml, QStringLiteral("target"));
        writeEntry(xml, QStringLiteral("serial"), serial);
        writeEntry(xml, QStringLiteral("vendor"), manufacturer);
        writeEntry(xml, QStringLiteral("capacity"), QString::number(qint64(model.capacityGb) * 1000000000),
                   "uint");
        writeEntry(xml, QStringLiteral("kind"), QStringLiteral("Internal memory"));
        xml.writeEndElement(); // target
        startEntries(xml, QStringLiteral("erasure_details"));
        writeEntry(xml, QStringLiteral("verification"),
                   erasureFailed ? QStringLiteral("Failed") : QStringLiteral("Successful"));
        writeEntry(xml, QStringLiteral("verified_percentage"),
                   QString::number(erasureFailed ? uniform(0, 99) : 100), "uint");
        xml.writeEndElement(); // erasure_details
        xml.writeEndElement(); // erasure
        xml.writeEndElement(); // erasures
        xml.writeEndElement(); // korvex_erasure_report
    }

    xml.writeStartElement(QStringLiteral("korvex_hardware_report"));
    startEntries(xml, QStringLiteral("system"));
    writeEntry(xml, QStringLiteral("name"),
               QStringLiteral("%1 of %2").arg(QLatin1String(model.marketName), station));
    writeEntry(xml, QStringLiteral("manufacturer"), manufacturer);
    writeEntry(xml, QStringLiteral("model"),
               QStringLiteral("%1 %2 %3").arg(QLatin1String(model.marketName), capacity, colour));
    writeEntry(xml, QStringLiteral("market_name"), QLatin1String(model.marketName));
    writeEntry(xml, QStringLiteral("internal_model"), QLatin1String(model.internalModel));
    if (apple)
        writeEntry(xml, QStringLiteral("a_model_number"), QLatin1String(model.modelNumber));
    writeEntry(xml, QStringLiteral("serial"), serial);
    writeEntry(xml, QStringLiteral("imei"), imei);
    writeEntry(xml, QStringLiteral("imei_two"), imeiTwo);
    writeEntry(xml, QStringLiteral("meid"), imeiBody);
    writeEntry(xml, QStringLiteral("meid_fourteen"), imeiBody);
    if (apple) {
        writeEntry(xml, QStringLiteral("ecid"), ecid);
        const QString uuidHead = hex(4, false);
        writeEntry(xml, QStringLiteral("uuid"), QStringLiteral("0000") + uuidHead + QLatin1Char('-') + ecid);
        writeEntry(xml, QStringLiteral("region"), QLatin1String(chance(0.5) ? "LL/A" : "ZD/A"));
    } else {
        writeEntry(xml, QStringLiteral("region"), QLatin1String(chance(0.5) ? "EU" : "US"));
    }
    // Most devices arrive without a known PIN; some customers hand one over with the device.
    writeEntry(xml, QStringLiteral("pin"), chance(0.3) ? digits(4) : QString());
    QStringList macBytes;
    for (int i = 0; i < 6; ++i)
        macBytes.append(hex(2, false));
    writeEntry(xml, QStringLiteral("wifi_mac"), macBytes.join(QLatin1Char(':')));
    writeEntry(xml, QStringLiteral("mdm_status"),
               chance(0.1) ? QStringLiteral("Locked") : QStringLiteral("Unlocked"));
    writeEntry(xml, QStringLiteral("device_color"), colour);
    writeEntry(xml, QStringLiteral("ram"), QStringLiteral("%1GB").arg(model.ramGb));
    writeEntry(xml, QStringLiteral("chassis_type"), QStringLiteral("Phone"));
    writeEntry(xml, QStringLiteral("identifier"), QLatin1String(model.identifier));
    xml.writeEndElement(); // system

    if (!report.issue) {
        startEntries(xml, QStringLiteral("hardware_tests"));
        QStringList results;
        const int testCount = uniform(4, int(std::size(hardwareTests)));
        for (int i = 0; i < testCount; ++i) {
            const int roll = uniform(1, 20);
            results.append(
                roll == 1 ? QStringLiteral("failed")
                          : (roll == 2 ? QStringLiteral("not performed") : QStringLiteral("successful")));
        }
        const QString summary =
            results.contains(QStringLiteral("failed"))
                ? QStringLiteral("failed")
                : (results.contains(QStringLiteral("successful")) ? QStringLiteral("successful")
                                                                  : QStringLiteral("not performed"));
        writeEntry(xml, QStringLiteral("summary"), summary);
        writeEntry(xml, QStringLiteral("testing_duration"), timeText(uniform(60, 600)));
        for (int i = 0; i < testCount; ++i)
            writeEntry(xml, QLatin1String(hardwareTests[i]), results.at(i));
        xml.writeEndElement(); // hardware_tests

        startEntries(xml, QStringLiteral("batteries"));
        startEntries(xml, QStringLiteral("battery"));
        const int design = uniform(2800, 5000);
        writeEntry(xml, QStringLiteral("serial"), alphanumeric(15));
        writeEntry(xml, QStringLiteral("design_capacity"), QString::number(design), "uint");
        writeEntry(xml, QStringLiteral("current_capacity"), QString::number(design * uniform(72, 100) / 100),
                   "uint");
        writeEntry(xml, QStringLiteral("cycle_count"), QString::number(uniform(5, 900)), "uint");
        xml.writeEndElement(); // battery
        xml.writeEndElement(); // batteries
    }
    xml.writeEndElement(); // korvex_hardware_report

    if (report.issue) {
        // Written with content so that its start tag appears as "<korvex_issue_report>".
        xml.writeStartElement(QStringLiteral("korvex_issue_report"));
        startEntries(xml, QStringLiteral("issues"));
        writeEntry(xml, QStringLiteral("issue"), QLatin1String(pick(issues)));
        xml.writeEndElement(); // issues
        xml.writeEndElement(); // korvex_issue_report
    }

    xml.writeEndElement(); // korvex_data

    writeUserData(xml, date, true);

    xml.writeEndElement(); // report
    report.xml = withCatalogueFields(text, report.issue ? 'i' : 'm');
    return report;
}

void ReportGenerator::writeUserData(QXmlStreamWriter& xml, const QDateTime& date, bool graded)
{
    xml.writeStartElement(QStringLiteral("user_data"));
    startEntries(xml, QStringLiteral("fields"));
    writeEntry(xml, QStringLiteral("info1"),
               QStringLiteral("PO-%1-%2").arg(date.date().year()).arg(uniform(1000, 9999)));
    writeEntry(xml, QStringLiteral("info2"),
               QStringLiteral("Customer: %1").arg(QLatin1String(pick(customers))));
    if (graded) {
        writeEntry(xml, QStringLiteral("info3"),
                   QStringLiteral("Grade %1").arg(QLatin1Char("ABC"[uniform(0, 2)])));
        writeEntry(xml, QStringLiteral("Comments"), QStringLiteral("not a custom field"));
    }
    xml.writeEndElement(); // fields
    xml.writeEndElement(); // user_data
}

QString ReportGenerator::withCatalogueFields(const QString& text, char kind)
{
    QDomDocument document;
    if (!document.setContent(text))
        return text;
    CatalogueFields::add(
        document, kind, [this](int low, int high) { return uniform(low, high); }, kCatalogueShare);
    return document.toString(2);
}

QString ReportGenerator::computerReport(const QDateTime& date)
{
    const Computer& computer = pick(computers);
    const QString serial = alphanumeric(7);
    const QString diskSerial = alphanumeric(12);
    const bool failed = chance(0.08);
    const int elapsed = uniform(600, 7200);
    const QString station = QStringLiteral("station-%1").arg(uniform(1, 12), 2, 10, QLatin1Char('0'));

    QString text;
    QXmlStreamWriter xml(&text);
    xml.writeStartElement(QStringLiteral("report"));
    xml.writeStartElement(QStringLiteral("korvex_data"));
    const QString documentId = uuid();
    const QDateTime consoleDate = date.addSecs(uniform(30, 300));
    startDescription(xml, documentId, consoleDate, QStringLiteral("31"),
                     QStringLiteral("Korvex Drive Eraser"), QStringLiteral("9.4.0"), date);
    writeEntry(xml, QStringLiteral("operator"), station);
    writeEntry(xml, QStringLiteral("comments"), QLatin1String(pick(comments)));
    xml.writeEndElement(); // entries
    xml.writeEndElement(); // description

    xml.writeStartElement(QStringLiteral("korvex_erasure_report"));
    startEntries(xml, QStringLiteral("erasures"));
    startEntries(xml, QStringLiteral("erasure"));
    writeEntry(xml, QStringLiteral("timestamp"), isoWithOffset(date.addSecs(-elapsed - 60)));
    writeEntry(xml, QStringLiteral("elapsed_time"), timeText(elapsed));
    writeEntry(xml, QStringLiteral("erasure_standard_name"), QLatin1String(pick(erasureStandards)));
    writeEntry(xml, QStringLiteral("overwriting_rounds"), QString::number(uniform(1, 3)), "uint");
    writeEntry(xml, QStringLiteral("state"),
               failed ? QStringLiteral("Failed") : QStringLiteral("Successful"));
    startEntries(xml, QStringLiteral("target"));
    writeEntry(xml, QStringLiteral("serial"), diskSerial);
    writeEntry(xml, QStringLiteral("vendor"), QLatin1String(computer.diskVendor));
    writeEntry(xml, QStringLiteral("capacity"), QString::number(qint64(computer.diskGb) * 1000000000),
               "uint");
    writeEntry(xml, QStringLiteral("kind"),
               computer.diskGb >= 1000 ? QStringLiteral("HDD") : QStringLiteral("SSD"));
    xml.writeEndElement(); // target
    xml.writeEndElement(); // erasure
    xml.writeEndElement(); // erasures
    xml.writeEndElement(); // korvex_erasure_report

    xml.writeStartElement(QStringLiteral("korvex_hardware_report"));
    startEntries(xml, QStringLiteral("system"));
    writeEntry(xml, QStringLiteral("name"),
               QStringLiteral("%1 of %2").arg(QLatin1String(computer.model), station));
    writeEntry(xml, QStringLiteral("manufacturer"), QLatin1String(computer.manufacturer));
    writeEntry(xml, QStringLiteral("model"), QLatin1String(computer.model));
    writeEntry(xml, QStringLiteral("serial"), serial);
    writeEntry(xml, QStringLiteral("uuid"), uuid().toUpper());
    writeEntry(xml, QStringLiteral("chassis_type"), QLatin1String(computer.chassis));
    writeEntry(xml, QStringLiteral("ram"), QStringLiteral("%1GB").arg(computer.ramGb));
    xml.writeEndElement(); // system
    startEntries(xml, QStringLiteral("disks"));
    startEntries(xml, QStringLiteral("disk"));
    writeEntry(xml, QStringLiteral("serial"), diskSerial);
    writeEntry(xml, QStringLiteral("vendor"), QLatin1String(computer.diskVendor));
    writeEntry(xml, QStringLiteral("model"), QLatin1String(computer.diskModel));
    writeEntry(xml, QStringLiteral("capacity"), QString::number(qint64(computer.diskGb) * 1000000000),
               "uint");
    xml.writeEndElement(); // disk
    xml.writeEndElement(); // disks
    xml.writeEndElement(); // korvex_hardware_report
    xml.writeEndElement(); // korvex_data

    writeUserData(xml, date, false);
    xml.writeEndElement(); // report
    return withCatalogueFields(text, 'c');
}
