// The tag language: plain, choice and argument tags, the map language, sizes, nesting and the
// final upper-case pass.

#include "report/device.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "settings/settingsmanager.h"
#include "shared/customfieldstore.h"
#include "testsupport.h"

#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <unistd.h>

namespace {

// One data row per line: the row's name, then a text for each column.
void addRows(std::initializer_list<std::initializer_list<const char*>> rows)
{
    for (const auto& row : rows) {
        const char* const* cell = row.begin();
        QTestData& data = QTest::newRow(*cell);
        for (++cell; cell != row.end(); ++cell)
            data << QString::fromUtf8(*cell);
    }
}

// A device whose lists a test can fill.
class TestDevice : public ReportDevice
{
public:
    using ReportDevice::m_disks;
    using ReportDevice::m_erasureRecords;
    using ReportDevice::m_processSteps;
};

// A device with every attribute the tags read set to a known value.
std::unique_ptr<TestDevice> fullDevice()
{
    auto device = std::make_unique<TestDevice>();
    DeviceInfo& info = device->info();
    info.manufacturer = QStringLiteral("Apple");
    info.model = QStringLiteral("iPhone 7 128GB");
    info.marketName = QStringLiteral("iPhone 7");
    info.wifiMac = QStringLiteral("f0:99:b6:12:34:56");
    info.batterySerial = QStringLiteral("BS-1");
    info.batteryHealthValid = true;
    info.batteryWearLevel = 7;
    info.batteryCycles = 412;
    info.batteryCurrentCapacity = 2480;
    info.batteryDesignCapacity = 2815;
    info.batteryTemperatureValid = true;
    info.batteryTemperature = 2950;
    info.deviceIdentifier = QStringLiteral("DEV-1");
    info.usbId = QStringLiteral("1-1.4");
    info.type = QStringLiteral("phone");
    info.aModelNumber = QStringLiteral("A1778");
    info.fmipState = 1;
    info.mdmStatus = QStringLiteral("Locked");
    info.rootState = 0;
    info.carrierName = QStringLiteral("Carrier X");
    info.simLockState = 2;
    info.simInfoPresent = 1;
    info.erasureMethod = 0;
    info.diagnosticsState = 2;
    info.diagnosticsResults = QStringLiteral("camera=1,speaker=1");
    info.lostState = 1;
    info.stolenState = 0;
    info.blockedState = 1;
    info.subscriptionStates[0] = 1;
    info.subscriptionStates[1] = 1;
    info.subscriptionStates[2] = 1;
    device->setIdentifier(Device::Region, QStringLiteral("LL/A"));
    device->setIdentifier(Device::Imei, QStringLiteral("356789104567892"));
    device->setStatus(Device::ErasureSuccessful);
    return device;
}

// Applies "key=value;..." settings of a test row to a device.
void configure(Device* device, const QString& setup)
{
    DeviceInfo& info = device->info();
    for (const QString& item : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        const QString value = item.section(QLatin1Char('='), 1);
        const int number = value.toInt();
        if (key == QLatin1String("status"))
            device->setStatus(number);
        else if (key == QLatin1String("root"))
            info.rootState = number;
        else if (key == QLatin1String("frp"))
            info.frpLocked = number != 0;
        else if (key == QLatin1String("unsupported"))
            info.unsupported = number != 0;
        else if (key == QLatin1String("diagstate"))
            info.diagnosticsState = number;
        else if (key == QLatin1String("diag"))
            info.diagnosticsResults = value;
        else if (key == QLatin1String("fmip"))
            info.fmipState = number;
        else if (key == QLatin1String("mdm"))
            info.mdmStatus = value;
        else if (key == QLatin1String("lsb")) {
            const QStringList states = value.split(QLatin1Char(','));
            info.lostState = states.at(0).toInt();
            info.stolenState = states.at(1).toInt();
            info.blockedState = states.at(2).toInt();
        } else if (key == QLatin1String("sub")) {
            const QStringList states = value.split(QLatin1Char(','));
            for (int i = 0; i < 3; ++i)
                info.subscriptionStates[i] = states.at(i).toInt();
        } else if (key == QLatin1String("model"))
            info.model = value;
        else if (key == QLatin1String("meid"))
            device->setIdentifier(Device::Meid, value);
        else if (key == QLatin1String("imei"))
            device->setIdentifier(Device::Imei, value);
        else
            qFatal("unknown test setup key %s", qPrintable(key));
    }
}

// Collects what the log writes to standard output while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

const QString kReport = QStringLiteral(
    "<root><report><korvex_data><description><document_id>doc-7</document_id><document_log><log_entry>"
    "<product_name id=\"23\">Korvex Mobile Eraser</product_name><date>2026-12-01T09:14:05+02:00</date>"
    "</log_entry></document_log></description><korvex_erasure_report><entries name=\"erasures\">"
    "<entries name=\"erasure\"><entries name=\"target\"><entry name=\"capacity\">128000000000</entry>"
    "</entries></entries></entries></korvex_erasure_report><korvex_hardware_report><entries name=\"system\">"
    "<entry name=\"model\">iPhone 12 128GB Blue</entry><entry name=\"market_name\">iPhone 12</entry>"
    "<entry name=\"imei\">356789104567892</entry><entry name=\"meid\">35678910456789</entry>"
    "</entries></korvex_hardware_report></korvex_data></report></root>");

} // namespace

class TestTagParser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void plainTags_data();
    void plainTags();
    void emptyForUnknown_data();
    void emptyForUnknown();
    void letterCase_data();
    void letterCase();
    void choiceTags_data();
    void choiceTags();
    void propertyValues_data();
    void propertyValues();
    void untranslatedForms();
    void alternativeSerialSetting();
    void durationAndDisks_data();
    void durationAndDisks();
    void mapLanguage_data();
    void mapLanguage();
    void humanReadableSize_data();
    void humanReadableSize();
    void nesting_data();
    void nesting();
    void deepNestingBounded();
    void firstIdAndValue_data();
    void firstIdAndValue();
    void firstMessages();
    void propertyNames();
    void customFields_data();
    void customFields();
    void xmlReport_data();
    void xmlReport();
    void diagnosticsList_data();
    void diagnosticsList();
    void dateTag();
    void finalPass_data();
    void finalPass();

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
};

void TestTagParser::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY(SettingsManager::instance());
}

void TestTagParser::init()
{
    CustomFieldStore::instance()->clear();
    SettingsManager::instance()->removeKey(QStringLiteral("androidsettings_alternativeserial"));
    SettingsManager::instance()->removeKey(QStringLiteral("customidname"));
}

void TestTagParser::plainTags_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("withDevice");
    QTest::addColumn<QString>("withoutDevice");
    addRows({
        {"devstatus", "<devstatus>", "erasure successful", "Erasure Successfull"},
        {"model", "<model>", "iPhone 7 128GB", "IPhone4(GSM) 8GB White"},
        {"diagstatus", "<diagstatus>", "Passed", "not diagnosed"},
        {"rooted", "<rooted>", "Not rooted", "Not available"},
        {"frp", "<frp>", "Passed", "Unknown"},
        {"CARRIERNAME", "<CARRIERNAME>", "Carrier X", "Unknown"},
        {"SIMLOCKED", "<SIMLOCKED>", "Locked", "Unknown"},
        {"unsupported", "<unsupported>", "Passed", "Unknown"},
        {"eraseduration", "<eraseduration>", "00:00:00", "Unknown"},
        {"erasemethod", "<erasemethod>", "Unknown", "Unknown"},
        {"eraserounds", "<eraserounds>", "Unknown", "Unknown"},
        {"simstatus", "<simstatus>", "No", ""},
        {"disksize", "<disksize>", "128GB", "Unknown"},
        {"diskdesign", "<diskdesign>", "128GB", "Unknown"},
        {"manufacturer", "<manufacturer>", "Apple", "Korvex Labs"},
        {"wifimac", "<wifimac>", "f0:99:b6:12:34:56", "XX:XX:XX:XX:XX"},
        {"batteryserial", "<batteryserial>", "BS-1", "AXXXXXYYYYYAAA"},
        {"batteryhealth", "<batteryhealth>", "93%", "-1%"},
        {"batterycycles", "<batterycycles>", "412", "10"},
        {"batterycapacurrent", "<batterycapacurrent>", "2480", "1000"},
        {"batterycapadesign", "<batterycapadesign>", "2815", "1001"},
        {"batterytemperature", "<batterytemperature>", "30", "25"},
        {"devid", "<devid>", "DEV-1", "Custom Id"},
        {"usbid", "<usbid>", "1-1.4", "1-1.2"},
        {"type", "<type>", "phone", "example_type"},
        {"amodelnumber", "<amodelnumber>", "A1778", "example_amodelnumber"},
        {"alternativeserial", "<alternativeserial>", "Not enabled", "Not available"},
        {"alternativesourceandserial", "<alternativesourceandserial>", "Not enabled", "Not available"},
        {"fmip", "<fmip>", "Locked", "Unknown"},
        {"mdm", "<mdm>", "Locked", "Unknown"},
        {"substatus", "<substatus>", "No restrictions", "Not found"},
        {"lsb", "<lsb>", "Lost, Blocked", "Unknown"},
        {"region", "<region>", "LL/A", ""},
        {"map alone", "a<map>b", "ab", "ab"},
        {"in running text", "Made by <manufacturer>.", "Made by Apple.", "Made by Korvex Labs."},
    });
}

void TestTagParser::plainTags()
{
    QFETCH(QString, tag);
    QFETCH(QString, withDevice);
    QFETCH(QString, withoutDevice);
    TagParser parser;
    auto device = fullDevice();
    QString text = tag;
    QVERIFY(parser.formatContent(text, device.get(), false, true));
    QCOMPARE(text, withDevice);
    text = tag;
    QVERIFY(parser.formatContent(text, nullptr, false, true));
    QCOMPARE(text, withoutDevice);
}

void TestTagParser::emptyForUnknown_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("setup"); // "none" for no device
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("expectedEmptyForUnknown");
    addRows({
        {"fmip, no device", "<fmip>", "none", "Unknown", ""},
        {"rooted, no device", "<rooted>", "none", "Not available", ""},
        {"fmip not obtained", "<fmip>", "fmip=-1", "Unknown", ""},
        {"fmip not tested", "<fmip>", "fmip=-3", "", ""},
        {"mdm other", "<mdm>", "mdm=Maybe", "Unknown", ""},
        {"lsb not 1", "<lsb>", "lsb=0,-3,0", "Unknown", ""},
        {"lsb untested", "<lsb>", "lsb=-3,-2,-3", "", ""},
        {"lsb clear", "<lsb>", "lsb=0,0,0", "Passed", "Passed"},
    });
    // Fixed example words are not "unknown" values.
    QTest::newRow("frp, no device") << "<frp>"
                                    << "none"
                                    << "Unknown"
                                    << "Unknown";
}

void TestTagParser::emptyForUnknown()
{
    QFETCH(QString, tag);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    QFETCH(QString, expectedEmptyForUnknown);
    auto device = fullDevice();
    Device* used = setup == QLatin1String("none") ? nullptr : device.get();
    if (used)
        configure(used, setup);
    TagParser parser;
    QString text = tag;
    parser.formatContent(text, used, false, true);
    QCOMPARE(text, expected);
    text = tag;
    parser.formatContent(text, used, true, true);
    QCOMPARE(text, expectedEmptyForUnknown);
}

void TestTagParser::letterCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    addRows({
        {"SIMSTATUS", "<SIMSTATUS>", "No"},
        {"SimStatus", "<SimStatus>", "No"},
        {"DiskSize", "<DiskSize>", "128GB"},
        {"DISKDESIGN", "<DISKDESIGN>", "128GB"},
        {"Model stays", "<Model>", "<Model>"},
        {"MANUFACTURER stays", "<MANUFACTURER>", "<MANUFACTURER>"},
        {"carriername stays", "<carriername>", "<carriername>"},
        {"DEVSTATUS choice stays", "<DEVSTATUS a,b,c>", "<DEVSTATUS a,b,c>"},
        {"CUSTOMFIELD any case", "<CUSTOMFIELD line>", "L2"},
        {"CustomField any case", "<CustomField line>", "L2"},
    });
}

void TestTagParser::letterCase()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    CustomFieldStore::instance()->setValue(QStringLiteral("line"), QStringLiteral("L2"));
    auto device = fullDevice();
    device->info().simInfoPresent = 1;
    TagParser parser;
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::choiceTags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("setup"); // "none" for no device
    QTest::addColumn<QString>("expected");

    addRows({
        {"devstatus erased", "<devstatus A,B,C>", "status=8", "A"},
        {"devstatus failed", "<devstatus A,B,C>", "status=9", "B"},
        {"devstatus other", "<devstatus A,B,C>", "status=3", "C"},
        {"devstatus past the end", "<devstatus A,B>", "status=3", ""},
        {"devstatus no device", "<devstatus A,B,C>", "none", "A"},
        {"devstatus trimmed", "<devstatus  Erased , Failed ,Other>", "status=9", "Failed"},
    });

    addRows({
        {"rooted 1", "<rooted A,B,C>", "root=1", "A"},
        {"rooted 3", "<rooted A,B,C>", "root=3", "A"},
        {"rooted unlisted", "<rooted A,B,C>", "root=7", "A"},
        {"rooted not rooted", "<rooted A,B,C>", "root=0", "B"},
        {"rooted n/a", "<rooted A,B,C>", "root=-1", "C"},
        {"rooted firmware", "<rooted A,B,C>", "root=2", "C"},
        {"rooted no device", "<rooted A,B,C>", "none", "A"},
        {"rooted past the end", "<rooted A,B>", "root=2", ""},
    });

    addRows({
        {"frp locked", "<frp A,B>", "frp=1", "A"},
        {"frp open", "<frp A,B>", "frp=0", "B"},
        {"frp no device", "<frp A,B>", "none", "A"},
        {"frp past the end", "<frp A>", "frp=0", ""},
    });

    addRows({
        {"unsupported yes", "<unsupported A,B>", "unsupported=1", "A"},
        {"unsupported no", "<unsupported A,B>", "unsupported=0", "B"},
        {"unsupported no device", "<unsupported A,B>", "none", "A"},
    });

    addRows({
        {"diagstatus passed", "<diagstatus A,B,C,D>", "diagstate=2;diag=x=1", "A"},
        {"diagstatus not performed", "<diagstatus A,B,C,D>", "diagstate=2;diag=x=2", "B"},
        {"diagstatus failed 1", "<diagstatus A,B,C,D>", "diagstate=1", "C"},
        {"diagstatus failed 4", "<diagstatus A,B,C,D>", "diagstate=2;diag=x=0", "C"},
        {"diagstatus not diagnosed", "<diagstatus A,B,C,D>", "diagstate=0", "D"},
        {"diagstatus no device", "<diagstatus A,B,C,D>", "none", "D"},
        {"diagstatus past the end", "<diagstatus A,B,C>", "diagstate=0", ""},
    });

    addRows({
        {"fmip on", "<fmip A,B,C,D>", "fmip=1", "A"},
        {"fmip off", "<fmip A,B,C,D>", "fmip=0", "B"},
        {"fmip not obtained", "<fmip A,B,C,D>", "fmip=-1", "C"},
        {"fmip other", "<fmip A,B,C,D>", "fmip=-3", "D"},
        {"fmip no device", "<fmip A,B,C,D>", "none", "B"},
    });

    addRows({
        {"mdm locked", "<mdm A,B,C>", "mdm=Locked", "A"},
        {"mdm unlocked", "<mdm A,B,C>", "mdm=Unlocked", "B"},
        {"mdm other", "<mdm A,B,C>", "mdm=", "C"},
        {"mdm no device", "<mdm A,B,C>", "none", "A"},
    });

    addRows({
        {"substatus all restricted", "<substatus all,A,B,C,D,E,F>", "sub=3,-3,-3", "A"},
        {"substatus empty carrier", "<substatus ,A,B,C,D,E,F>", "sub=2,1,-1", "B"},
        {"substatus all untested", "<substatus all,A,B,C,D,E,F>", "sub=-3,-3,-3", "F"},
        {"substatus all zero", "<substatus all,A,B,C,D,E,F>", "sub=0,0,0", "D"},
        {"substatus kddi", "<substatus kddi,A,B,C,D,E,F>", "sub=2,-3,-3", "B"},
        {"substatus SoftBank", "<substatus SoftBank,A,B,C,D,E,F>", "sub=2,-1,-3", "E"},
        {"substatus DOCOMO", "<substatus DOCOMO,A,B,C,D,E,F>", "sub=2,-1,0", "D"},
        {"substatus unknown carrier", "<substatus vodafone,A,B,C,D,E,F>", "sub=3,3,3", ""},
        {"substatus no device", "<substatus all,A,B,C,D,E,F>", "none", "D"},
        {"substatus past the end", "<substatus all,A,B>", "sub=-3,-3,-3", ""},
    });

    addRows({
        {"lsb short, lost", "<lsb Yes,No>", "lsb=1,0,0", "Yes"},
        {"lsb short, clear", "<lsb Yes,No>", "lsb=0,0,0", "No"},
        {"lsb short, no device", "<lsb Yes,No>", "none", "No"},
        {"lsb short, partly tested", "<lsb Yes,No>", "lsb=-3,0,0", ""},
        {"lsb long, two", "<lsb L,S,B,Clean,None,Untested>", "lsb=1,0,1", "L, B"},
        {"lsb long, clear", "<lsb L,S,B,Clean,None,Untested>", "lsb=0,0,0", "Clean"},
        {"lsb long, untested", "<lsb L,S,B,Clean,None,Untested>", "lsb=-3,-2,-3", "Untested"},
        {"lsb long, none is 1", "<lsb L,S,B,Clean,None,Untested>", "lsb=0,-3,0", "None"},
        {"lsb long, no device", "<lsb L,S,B,Clean,None,Untested>", "none", "Clean"},
        {"lsb long, as written", "<lsb L , S,B,Clean,None,Untested>", "lsb=1,1,0", "L ,  S"},
        {"lsb long, past the end", "<lsb L,S,B>", "lsb=-3,-3,-3", ""},
    });

    addRows({
        {"diagresult passed", "<diagresult camera,P,F,NP,NA>", "diag=camera=1", "P"},
        {"diagresult failed", "<diagresult camera,P,F,NP,NA>", "diag=x=1,CAMERA=0", "F"},
        {"diagresult odd code", "<diagresult camera,P,F,NP,NA>", "diag=camera=x", "NP"},
        {"diagresult missing", "<diagresult camera,P,F,NP,NA>", "diag=speaker=1", "NA"},
        {"diagresult short form", "<diagresult camera,P,F, , >", "diag=camera=2", " "},
        {"diagresult past the end", "<diagresult camera,P>", "diag=camera=0", ""},
        {"diagresult word", "<diagresult camera>", "diag=camera=0", "Failed"},
        {"diagresult no device", "<diagresult camera>", "none", "Not available"},
    });
}

void TestTagParser::choiceTags()
{
    QFETCH(QString, text);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    auto device = fullDevice();
    Device* used = setup == QLatin1String("none") ? nullptr : device.get();
    if (used)
        configure(used, setup);
    TagParser parser;
    parser.formatContent(text, used, false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::propertyValues_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected");
    addRows({
        {"MEID", "MEID", "meid=A1", "A1"},
        {"IMEI", "IMEI", "imei=35", "35"},
        {"PIN without 0x", "PIN", "", "1a2b"},
        {"USB serial cut", "USB serial", "", "ABC"},
        {"ECID", "ECID", "", "E1"},
        {"System serial", "System serial", "", "S1"},
        {"status blacklisted", "Device status", "status=21", "not supported"},
        {"status unknown", "Device status", "status=5", "unknown"},
        {"diag FAILED", "Diagnostics status", "diag=a=0", "FAILED"},
        {"diag not performed", "Diagnostics status", "diag=a=2", "Not performed"},
        {"rooted", "Rooted", "root=3", "ROOTED"},
        {"custom firmware", "Rooted", "root=2", "Custom Firmware"},
        {"rooted unknown value", "Rooted", "root=9", ""},
        {"fmip odd value", "Find My iPhone", "fmip=7", ""},
        {"fmip 2", "Find My iPhone", "fmip=2", "Unknown"},
        {"lost only", "Lost/Stolen/Blocked", "lsb=1,0,0", "Lost"},
        {"all three", "Lost/Stolen/Blocked", "lsb=1,1,1", "Lost, Stolen, Blocked"},
        {"subscription any 4", "Subscription status", "sub=4,3,1", ""},
        {"subscription may be", "Subscription status", "sub=2,1,0", "May be restricted"},
        {"subscription not obtained", "Subscription status", "sub=-1,0,0", "Unknown"},
        {"disk from TB model", "DiskSize", "model=Tab 2TB 64GB", "64GB"},
        {"disk last word wins", "DiskSize", "model=Tab 64GB 2TB", "2TB"},
        {"disk lower case unit", "DiskSize", "model=Tab 64gb", "Unknown"},
        {"devcustomfield", "(devcustomfield)colour", "", "blue"},
        {"devcustomfield missing", "(devcustomfield)nothing", "", ""},
        {"freetext", "(freetext)By <manufacturer>", "", "By Apple"},
        {"unknown label", "No such label", "", ""},
    });
}

void TestTagParser::propertyValues()
{
    QFETCH(QString, label);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    auto device = fullDevice();
    device->setIdentifier(Device::Pin, QStringLiteral("0x1a2b"));
    device->setIdentifier(Device::Ecid, QStringLiteral("E1"));
    device->setIdentifier(Device::Serial, QStringLiteral("S1"));
    device->info().usbSerial = QStringLiteral("ABC-quillon-7");
    device->info().customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    configure(device.get(), setup);
    TagParser parser;
    QCOMPARE(parser.propertyValue(device.get(), label, false, true), expected);
}

void TestTagParser::untranslatedForms()
{
    auto device = fullDevice();
    TagParser parser;
    device->setStatus(21);
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Device status"), false, false),
             QStringLiteral("blacklisted"));
    device->info().diagnosticsState = 0;
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Diagnostics status"), false, false),
             QStringLiteral("Not diagnosed"));
    QCOMPARE(parser.propertyValue(nullptr, QStringLiteral("Device status"), false, false),
             QStringLiteral("erasure successful"));
    QCOMPARE(parser.propertyValue(nullptr, QStringLiteral("Diagnostics status"), false, false),
             QStringLiteral("Not diagnosed"));

    // Battery bounds and rounding.
    device->info().batteryWearLevel = 120;
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Battery Health"), false, true),
             QStringLiteral("0%"));
    device->info().batteryWearLevel = -4;
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Battery Health"), false, true),
             QStringLiteral("100%"));
    device->info().batteryHealthValid = false;
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Battery Health"), false, true),
             QStringLiteral("-1%"));
    for (const auto& [hundredths, degrees] :
         {std::pair<int, int>{2950, 30}, {-2950, -29}, {2949, 29}, {-2951, -30}}) {
        device->info().batteryTemperature = hundredths;
        QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Battery temperature"), false, true),
                 QString::number(degrees));
    }
    device->info().batteryTemperatureValid = false;
    QCOMPARE(parser.propertyValue(device.get(), QStringLiteral("Battery temperature"), false, true),
             QString());
}

void TestTagParser::alternativeSerialSetting()
{
    auto device = fullDevice();
    device->setIdentifier(Device::AlternativeSerial, QStringLiteral("ALT-1"));
    device->setIdentifier(Device::AlternativeSourceAndSerial, QStringLiteral("src:ALT-1"));
    SettingsManager::instance()->setValue(QStringLiteral("androidsettings_alternativeserial"), true);
    TagParser parser;
    QString text = QStringLiteral("<alternativeserial>|<alternativesourceandserial>");
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, QStringLiteral("ALT-1|src:ALT-1"));
}

void TestTagParser::durationAndDisks_data()
{
    QTest::addColumn<QVector<qint64>>("erasureSeconds");
    QTest::addColumn<QVector<int>>("stepGroups"); // each step lasts 60 s
    QTest::addColumn<QVector<quint64>>("diskBytes");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QString>("diskSize");
    QTest::addColumn<QString>("diskDesign");
    const quint64 gib = quint64(1) << 30;
    QTest::newRow("one erasure") << QVector<qint64>{3723} << QVector<int>{}
                                 << QVector<quint64>{128000000000ULL} << "01:02:03"
                                 << "120GB"
                                 << "128GB";
    QTest::newRow("two erasures") << QVector<qint64>{3600, 360000} << QVector<int>{}
                                  << QVector<quint64>{64 * gib, 2 * gib} << "101:00:00"
                                  << "64GB2GB"
                                  << "64GB2GB";
    QTest::newRow("leading steps") << QVector<qint64>{} << QVector<int>{1, 1, 2, 1} << QVector<quint64>{1}
                                   << "00:02:00"
                                   << "1GB"
                                   << "2GB";
    QTest::newRow("nothing") << QVector<qint64>{} << QVector<int>{} << QVector<quint64>{} << "00:00:00"
                             << "128GB"
                             << "128GB";
    QTest::newRow("beyond 1 TiB") << QVector<qint64>{0} << QVector<int>{}
                                  << QVector<quint64>{2000000000000ULL} << "00:00:00"
                                  << "1863GB"
                                  << "1863GB";
    QTest::newRow("exact multiple") << QVector<qint64>{0} << QVector<int>{} << QVector<quint64>{256 * gib}
                                    << "00:00:00"
                                    << "256GB"
                                    << "256GB";
    QTest::newRow("just above") << QVector<qint64>{0} << QVector<int>{} << QVector<quint64>{256 * gib + 1}
                                << "00:00:00"
                                << "257GB"
                                << "512GB";
}

void TestTagParser::durationAndDisks()
{
    QFETCH(QVector<qint64>, erasureSeconds);
    QFETCH(QVector<int>, stepGroups);
    QFETCH(QVector<quint64>, diskBytes);
    QFETCH(QString, duration);
    QFETCH(QString, diskSize);
    QFETCH(QString, diskDesign);
    auto device = fullDevice();
    for (int i = 0; i < diskBytes.size(); ++i) {
        TargetDisk disk;
        disk.serial = QStringLiteral("D%1").arg(i);
        disk.capacity = diskBytes.at(i);
        disk.kind = TargetDisk::InternalMemory;
        device->m_disks.append(disk);
        if (i < erasureSeconds.size()) {
            ErasureRecord record;
            record.elapsedNanoseconds = erasureSeconds.at(i) * 1000000000LL;
            record.target = disk;
            device->m_erasureRecords.append(record);
        }
    }
    for (int group : stepGroups)
        device->m_processSteps.append(ProcessStep{group, 60LL * 1000000000LL});
    TagParser parser;
    QString text = QStringLiteral("<eraseduration>|<disksize>|<diskdesign>");
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, QStringList({duration, diskSize, diskDesign}).join(QLatin1Char('|')));
}

void TestTagParser::mapLanguage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    // The device has fmip 1 (Locked) and the model "iPhone 7 128GB".
    const QString fmip =
        QStringLiteral("<map src=\"Find My iPhone\" in=Locked out=ON in=Unlocked out=OFF else=?>");
    QTest::newRow("example") << fmip << "ON";
    addRows({
        {"no match", "<map src=Model in=X out=Y>", ""},
        {"else", "<map src=Model in=X out=Y else=Z>", "Z"},
        {"short keys", "<map s=Model i=X o=Y e=Z>", "Z"},
        {"keys in any case", "<map SRC=Model IN=\"iPhone 7 128GB\" OUT=yes>", "yes"},
        {"case-sensitive by default", "<map src=Model in=\"IPHONE 7 128GB\" out=yes else=no>", "no"},
        {"cis", "<map src=Model cis=t in=\"IPHONE 7 128GB\" out=yes else=no>", "yes"},
        {"prefix", "<map src=Model cmp=st in=iPhone out=apple>", "apple"},
        {"cmp eq", "<map src=Model cmp=START cmp=eq in=iPhone out=apple else=no>", "no"},
        {"cmp unknown never matches", "<map src=Model cmp=like in=\"iPhone 7 128GB\" out=a else=b>", "b"},
        {"stop false collects", "<map src=Model cmp=st stop=false in=iPhone out=A in=iP out=B>", "AB"},
        {"else after output", "<map src=Model stop=false in=\"iPhone 7 128GB\" out=A else=B>", "A"},
        {"escapes", "<map src=Model in=X else=\"say \\\"hi\\\" \\\\o/\">", "say \"hi\" \\o/"},
        {"unterminated quote", "<map src=Model in=X else=\"open end>", "open end"},
        {"unknown key stops", "<map src=Model foo=1 else=Z>", ""},
        {"value glued to next", "<map src=Model in=\"X\"else=Z>", ""},
        {"no source", "<map in=X out=Y else=none>", "none"},
        {"custom field source", "<map src=\"customfield:line\" in=L2 out=second>", "second"},
        {"device custom field source", "<map src=\"Device custom field: colour\" in=blue out=B>", "B"},
        {"diagnostics source", "<map src=diagresult:camera in=Passed out=ok>", "ok"},
        {"subscription source", "<map src=substatus:kddi in=\"No restrictions\" out=free>", "free"},
        {"not localised", "<map loc=false src=\"Device status\" in=\"erasure successful\" out=E>", "E"},
    });
    // Map values are inserted as written, not formatted.
    QTest::newRow("tag in value stays") << "<map src=Model in=X else=\"<manufacturer>\">"
                                        << "<manufacturer>";
}

void TestTagParser::mapLanguage()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    CustomFieldStore::instance()->setValue(QStringLiteral("line"), QStringLiteral("L2"));
    auto device = fullDevice();
    device->info().customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    configure(device.get(), QStringLiteral("diag=camera=1;sub=1,-3,-3"));
    TagParser parser;
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::humanReadableSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    addRows({
        {"MB", "<bytes2human 1500000>", "1.50 MB"},
        {"kiB", "<bytes2ihuman 1536>", "1.50 kiB"},
        {"equal to base stays", "<bytes2human 1000>", "1000.00 B"},
        {"equal to binary base stays", "<bytes2ihuman 1024>", "1024.00 B"},
        {"just above base", "<bytes2human 1001>", "1.00 kB"},
        {"rounds down", "<bytes2human 1999>", "1.99 kB"},
        {"no binary noise", "<bytes2human 1150>", "1.15 kB"},
        {"no binary noise, large", "<bytes2human 4100000000>", "4.10 GB"},
        {"zero", "<bytes2human 0>", "0.00 B"},
        {"largest", "<bytes2human 18446744073709551615>", "18.44 EB"},
        {"largest binary", "<bytes2ihuman 18446744073709551615>", "15.99 EiB"},
        {"not a number", "<bytes2human abc>", "abc"},
        {"negative", "<bytes2human -5>", "-5"},
        {"too large", "<bytes2human 18446744073709551616>", "18446744073709551616"},
        {"argument is a tag", "<bytes2human <batterycycles>>", "412.00 B"},
    });
}

void TestTagParser::humanReadableSize()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    auto device = fullDevice();
    TagParser parser;
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::nesting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    addRows({
        {"tag in brackets", "<<model>>", "<iPhone 7 128GB>"},
        {"unknown tag stays", "<foo> <model>", "<foo> iPhone 7 128GB"},
        {"no closing bracket", "abc <model", "abc <model"},
        {"later unclosed", "<model> and <model", "iPhone 7 128GB and <model"},
        {"unclosed stops scanning", "<<model> <type>", "<<model> <type>"},
        {"lone closing bracket", "a > b <type>", "a > b phone"},
        {"value not formatted again", "<model>", "<manufacturer>"},
        {"size of a report value",
         "<bytes2human <xmlreport /root/report/korvex_data/korvex_erasure_report/erasures/erasure/target/"
         "capacity>>",
         "128.00 GB"},
        {"empty", "", ""},
        {"brackets only", "<>", "<>"},
    });
}

void TestTagParser::nesting()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    ReportDocument report;
    report.parse(kReport);
    auto device = fullDevice();
    device->setReport(&report, false);
    device->info().type = QStringLiteral("phone");
    if (QString(QTest::currentDataTag()) == QLatin1String("value not formatted again"))
        device->info().model = QStringLiteral("<manufacturer>");
    TagParser parser;
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::deepNestingBounded()
{
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += QStringLiteral("<bytes2human ");
    text += QStringLiteral("1500000");
    text += QString(2000, QLatin1Char('>'));
    TagParser parser;
    parser.formatContent(text, nullptr, false, true);
    QVERIFY(!text.isEmpty());

    // Within the bound, nested arguments still format.
    QString shallow = QStringLiteral("<bytes2human <bytes2ihuman <batterycycles>>>");
    parser.formatContent(shallow, nullptr, false, true);
    QCOMPARE(shallow, QStringLiteral("10.00 B"));
}

void TestTagParser::firstIdAndValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected");
    addRows({
        {"value, MEID only", "<firstvalue IMEI,MEID>", "imei=;meid=M1", "M1"},
        {"id, MEID only", "<firstid IMEI,MEID>", "imei=;meid=M1", "MEID"},
        {"value, first wins", "<firstvalue MEID,IMEI>", "imei=I1;meid=M1", "M1"},
        {"id, first wins", "<firstid IMEI, MEID>", "imei=I1;meid=M1", "IMEI"},
        {"value, neither", "a<firstvalue IMEI,MEID>b", "imei=;meid=", "ab"},
        {"id, freetext", "<firstid IMEI,(freetext)No <type>>", "imei=", "No phone"},
        {"value, freetext", "<firstvalue IMEI,(freetext)none>", "imei=", "none"},
        {"id, custom field name", "<firstid IMEI,(devcustomfield)colour>", "imei=", "colour"},
        {"id, other label kept", "<firstid Manufacturer>", "", "Manufacturer"},
        {"unknown words count as values", "<firstvalue IMEI,MDM>", "imei=;mdm=x", "Unknown"},
    });
}

void TestTagParser::firstIdAndValue()
{
    QFETCH(QString, text);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    auto device = fullDevice();
    device->info().type = QStringLiteral("phone");
    device->info().customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    configure(device.get(), setup);
    TagParser parser;
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::firstMessages()
{
    auto device = fullDevice();
    configure(device.get(), QStringLiteral("imei=;meid="));
    TagParser parser;
    const QString original = QStringLiteral("ID <firstid IMEI,MEID> V <firstvalue MEID,IMEI>");
    QString text = original;
    StdoutCapture capture;
    parser.formatContent(text, device.get(), false, false);
    QString quiet = original;
    parser.formatContent(quiet, device.get(), false, true);
    const QString log = capture.text();
    QCOMPARE(text, QStringLiteral("ID  V "));
    QCOMPARE(quiet, QStringLiteral("ID  V "));
    // Each tag without a value is named once, in text order; the quiet call names none.
    QVERIFY2(log.indexOf(QStringLiteral("'<firstid'")) >= 0, qPrintable(log));
    QVERIFY(log.indexOf(QStringLiteral("'<firstid'")) < log.indexOf(QStringLiteral("'<firstvalue'")));
    QCOMPARE(log.count(QStringLiteral("'<first")), 2);
}

void TestTagParser::propertyNames()
{
    TagParser parser;
    QCOMPARE(parser.propertyName(QStringLiteral("IMEI2")), QStringLiteral("IMEI2"));
    QCOMPARE(parser.propertyName(QStringLiteral("Something")), QStringLiteral("Something"));
    QCOMPARE(parser.propertyName(QStringLiteral("Device identifier")), QStringLiteral("Device identifier"));
    SettingsManager::instance()->setValue(QStringLiteral("customidname"), QStringLiteral("Asset tag"));
    QCOMPARE(parser.propertyName(QStringLiteral("Device identifier")), QStringLiteral("Asset tag"));
    auto device = fullDevice();
    QString text = QStringLiteral("<firstid Device identifier>: <firstvalue Device identifier>");
    parser.formatContent(text, device.get(), false, true);
    QCOMPARE(text, QStringLiteral("Asset tag: DEV-1"));
}

void TestTagParser::customFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<QString>("expected");
    QTest::newRow("store") << "<customfield line>" << true << "L2";
    QTest::newRow("store, empty value") << "[<customfield empty>]" << true << "[]";
    QTest::newRow("store, unknown stays")
        << "<customfield nothing> <type>" << true << "<customfield nothing> phone";
    QTest::newRow("device field") << "<devcustomfield colour>" << true << "blue";
    QTest::newRow("device falls back to store") << "<devcustomfield line>" << true << "L2";
    QTest::newRow("device, unknown stays")
        << "<devcustomfield nothing> <type>" << true << "<devcustomfield nothing> phone";
    QTest::newRow("device field, preview") << "<devcustomfield colour>" << false << "example_field";
}

void TestTagParser::customFields()
{
    QFETCH(QString, text);
    QFETCH(bool, withDevice);
    QFETCH(QString, expected);
    CustomFieldStore::instance()->setValue(QStringLiteral("line"), QStringLiteral("L2"));
    CustomFieldStore::instance()->setValue(QStringLiteral("empty"), QString());
    auto device = fullDevice();
    device->info().type = QStringLiteral("phone");
    device->info().customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    TagParser parser;
    parser.formatContent(text, withDevice ? device.get() : nullptr, false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::xmlReport_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("binding"); // "report", "undated", "none" (no device)
    QTest::addColumn<QString>("expected");
    addRows({
        {"value", "<xmlreport /root/report/korvex_data/description/document_id>", "report", "doc-7"},
        {"section entry", "<xmlreport /root/report/korvex_data/korvex_hardware_report/system/imei>", "report",
         "356789104567892"},
        {"missing", "<xmlreport /root/report/korvex_data/nothing/here>", "report", ".../nothing/here"},
        {"short path", "<xmlreport /x>", "report", "/x"},
        {"preview", "<xmlreport /root/report/korvex_data/description/document_id>", "none",
         ".../description/document_id"},
        {"undated report", "<xmlreport /root/report/korvex_data/description/document_id>", "undated",
         ".../description/document_id"},
        {"refused path", "<xmlreport /root/report/x|doc('/etc/hostname')>", "report", ".../etc/hostname')"},
    });
}

void TestTagParser::xmlReport()
{
    QFETCH(QString, text);
    QFETCH(QString, binding);
    QFETCH(QString, expected);
    ReportDocument report;
    report.parse(binding == QLatin1String("undated")
                     ? QString(kReport).remove(QStringLiteral("<date>2026-12-01T09:14:05+02:00</date>"))
                     : kReport);
    ReportDevice device;
    device.setReport(&report, true);
    TagParser parser;
    parser.formatContent(text, binding == QLatin1String("none") ? nullptr : &device, false, true);
    QCOMPARE(text, expected);
}

void TestTagParser::diagnosticsList_data()
{
    QTest::addColumn<QString>("filters");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QString>("expected");
    QTest::newRow("failed and ok") << "FAILED,OK" << false << "cam: Passed\nmic: Failed";
    QTest::newRow("not performed") << "NOT PERFORMED" << false << "gps: Not performed\nnfc: Not performed";
    QTest::newRow("not available") << "NOT AVAILABLE" << false << "lte: Not available";
    QTest::newRow("lower case ignored") << "ok,failed" << false << "";
    QTest::newRow("examples when quiet") << "OK,FAILED" << true
                                         << "Example test: Failed\nExample test (Assisted): Failed\nExample "
                                            "test: Passed\nExample test (Assisted): Passed";
}

void TestTagParser::diagnosticsList()
{
    QFETCH(QString, filters);
    QFETCH(bool, quiet);
    QFETCH(QString, expected);
    auto device = fullDevice();
    device->info().diagnosticsResults = QStringLiteral("cam=1,mic=0,gps=x,nfc=2,lte=3,odd=7,broken");
    TagParser parser;
    QString text = QStringLiteral("<diaglist %1>").arg(filters);
    parser.formatContent(text, device.get(), false, quiet);
    QCOMPARE(text, expected);
    QVERIFY(parser.hasDiagnosticsList());
    QString plain = QStringLiteral("<model>");
    parser.formatContent(plain, device.get(), false, quiet);
    QVERIFY(!parser.hasDiagnosticsList());
}

void TestTagParser::dateTag()
{
    TagParser parser;
    QString text = QStringLiteral("<date yyyy>");
    parser.formatContent(text, nullptr, false, true);
    QCOMPARE(text, QString::number(QDate::currentDate().year()));
    text = QStringLiteral("<date  yyyy-MM >");
    parser.formatContent(text, nullptr, false, true);
    QCOMPARE(text, QDate::currentDate().toString(QStringLiteral("yyyy-MM")));
}

void TestTagParser::finalPass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<QString>("formatted");
    QTest::addColumn<QString>("patched");
    QTest::newRow("market name") << "<MARKETNAME>" << false << true << "iPhone 12"
                                 << "iPhone 12";
    QTest::newRow("quiet leaves it to the patch") << "<MARKETNAME>" << true << true << "<MARKETNAME>"
                                                  << "iPhone 12";
    QTest::newRow("preview shows examples")
        << "<MARKETNAME> <IMEI>/<MEID>" << true << false << "<MARKETNAME> <IMEI>/<MEID>"
        << "iPhone 4 012345678901234/012345678901234";
    QTest::newRow("identifiers") << "<IMEI>/<MEID>" << true << true << "<IMEI>/<MEID>"
                                 << "356789104567892/35678910456789";
    QTest::newRow("other upper-case tags stay")
        << "<SERVERVALUE x> <MARKETNAME>" << true << true << "<SERVERVALUE x> <MARKETNAME>"
        << "<SERVERVALUE x> iPhone 12";
    QTest::newRow("text outside the local code page")
        << "Grüße 日本 <MARKETNAME>" << true << true << "Grüße 日本 <MARKETNAME>"
        << "Grüße 日本 iPhone 12";
}

void TestTagParser::finalPass()
{
    QFETCH(QString, text);
    QFETCH(bool, quiet);
    QFETCH(bool, withDevice);
    QFETCH(QString, formatted);
    QFETCH(QString, patched);
    ReportDocument report;
    report.parse(kReport);
    ReportDevice device;
    device.setReport(&report, true);
    TagParser parser;
    QString viaFormat = text;
    parser.formatContent(viaFormat, withDevice ? &device : nullptr, false, quiet);
    QCOMPARE(viaFormat, formatted);
    QString viaPatch = text;
    QVERIFY(parser.formatAndPatch(viaPatch, withDevice ? &device : nullptr, false, quiet));
    QCOMPARE(viaPatch, patched);
}

QTEST_GUILESS_MAIN(TestTagParser)
#include "tst_tagparser.moc"
