// The tag language: plain, choice and argument tags, the map language, sizes, nesting and the
// final upper-case pass.

#include "logcapture.h"
#include "report/device.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "shared/customfieldstore.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <initializer_list>
#include <memory>

namespace {

// One data row per line: the row's name, then a text for each column; missing trailing cells
// are empty.
template <int columns = 3> void addRows(std::initializer_list<std::initializer_list<const char*>> rows)
{
    for (const auto& row : rows) {
        const char* const* cell = row.begin();
        QTestData& data = QTest::newRow(*cell);
        for (int n = 1; n <= columns; ++n)
            data << (n < int(row.size()) ? QString::fromUtf8(cell[n]) : QString());
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

// The sample report of tests/data.
const QString kReport = QString::fromUtf8(TestSupport::sampleReport());

// kReport, or the same without its date (which empties it).
ReportDocument* boundReport(bool dated)
{
    static ReportDocument reports[2];
    if (reports[dated].documentId().isEmpty())
        reports[dated].parse(dated ? kReport
                                   : QString(kReport).remove(QRegularExpression("<date>[^<]*</date>")));
    return &reports[dated];
}

// The setup keys that set one attribute, by kind: numbers, texts, flags (any number but 0) and
// identifier slots, each list in the order of its keys.
using D = DeviceInfo;
const QStringList kNumberKeys = {"root",   "fmip",    "diagstate", "wear",    "temp",
                                 "cycles", "current", "design",    "simlock", "sim"};
int D::*const kNumbers[] = {
    &D::rootState,          &D::fmipState,     &D::diagnosticsState,       &D::batteryWearLevel,
    &D::batteryTemperature, &D::batteryCycles, &D::batteryCurrentCapacity, &D::batteryDesignCapacity,
    &D::simLockState,       &D::simInfoPresent};
const QStringList kTextKeys = {"mdm",   "model", "maker",     "market", "mac",    "battery",
                               "devid", "usbid", "usbserial", "type",   "amodel", "carrier"};
QString D::*const kTexts[] = {&D::mdmStatus, &D::model,         &D::manufacturer,     &D::marketName,
                              &D::wifiMac,   &D::batterySerial, &D::deviceIdentifier, &D::usbId,
                              &D::usbSerial, &D::type,          &D::aModelNumber,     &D::carrierName};
const QStringList kFlagKeys = {"frp", "unsupported", "health", "tempvalid"};
bool D::*const kFlags[] = {&D::frpLocked, &D::unsupported, &D::batteryHealthValid,
                           &D::batteryTemperatureValid};
const QStringList kSlotKeys = {"imei", "meid", "region", "pin"};
const int kSlots[] = {Device::Imei, Device::Meid, Device::Region, Device::Pin};

// Applies "key=value;..." settings of a test row to a device. Keys without a value ("none",
// "empty", "label", "loud", "patch") are read by the tests themselves.
void configure(TestDevice* device, const QString& setup)
{
    DeviceInfo& info = device->info();
    for (const QString& item : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        const QString value = item.section(QLatin1Char('='), 1);
        const QStringList values = value.split(QLatin1Char(','));
        if (kNumberKeys.contains(key)) {
            info.*kNumbers[kNumberKeys.indexOf(key)] = value.toInt();
        } else if (kTextKeys.contains(key)) {
            info.*kTexts[kTextKeys.indexOf(key)] = value;
        } else if (kFlagKeys.contains(key)) {
            info.*kFlags[kFlagKeys.indexOf(key)] = value.toInt() != 0;
        } else if (kSlotKeys.contains(key)) {
            device->setIdentifier(kSlots[kSlotKeys.indexOf(key)], value);
        } else if (key == QLatin1String("status")) {
            device->setStatus(value.toInt());
        } else if (key == QLatin1String("lsb")) {
            info.lostState = values.at(0).toInt();
            info.stolenState = values.at(1).toInt();
            info.blockedState = values.at(2).toInt();
        } else if (key == QLatin1String("sub")) {
            for (int i = 0; i < 3; ++i)
                info.subscriptionStates[i] = values.at(i).toInt();
        } else if (key == QLatin1String("report") || key == QLatin1String("undated")) {
            device->setReport(boundReport(key == QLatin1String("report")), false);
        } else if (key == QLatin1String("diag") || key == QLatin1String("results")) {
            // "results": every kind, with odd entries.
            info.diagnosticsResults =
                key == QLatin1String("results") ? "cam=1,mic=0,gps=x,nfc=2,lte=3,odd=7,broken" : value;
        } else if (key == QLatin1String("copied")) {
            device->setReport(boundReport(true), true);
        } else if (key == QLatin1String("idname")) {
            SettingsManager::instance()->setValue(QStringLiteral("customidname"), value);
        } else if (key == QLatin1String("alt")) {
            device->setIdentifier(Device::AlternativeSerial, QStringLiteral("ALT-1"));
            device->setIdentifier(Device::AlternativeSourceAndSerial, QStringLiteral("src:ALT-1"));
            SettingsManager::instance()->setValue(QStringLiteral("androidsettings_alternativeserial"), true);
        } else if (key == QLatin1String("cards")) { // a SIM card per character, "1" when flagged
            for (const QChar c : value)
                info.simCards.append(SimCard{c == QLatin1Char('1')});
        } else if (key == QLatin1String("steps")) {
            for (const QString& group : values) // each step lasts a minute
                device->m_processSteps.append(ProcessStep{group.toInt(), 60LL * 1000000000LL});
        } else if (key == QLatin1String("disks")) {
            // "bytes[:erasure seconds],...": internal disks, each with its erasure if timed.
            for (const QString& entry : values) {
                TargetDisk disk;
                disk.serial = QStringLiteral("D%1").arg(device->m_disks.size());
                disk.capacity = entry.section(QLatin1Char(':'), 0, 0).toULongLong();
                disk.kind = TargetDisk::InternalMemory;
                device->m_disks.append(disk);
                if (!entry.contains(QLatin1Char(':')))
                    continue;
                ErasureRecord record;
                record.elapsedNanoseconds = entry.section(QLatin1Char(':'), 1).toLongLong() * 1000000000LL;
                record.target = disk;
                device->m_erasureRecords.append(record);
            }
        } else if (!QStringList({"none", "empty", "label", "loud", "patch"}).contains(key)) {
            qFatal("unknown test setup key %s", qPrintable(key));
        }
    }
}

// A device with every attribute the tags read set to a known value.
std::unique_ptr<TestDevice> fullDevice()
{
    auto device = std::make_unique<TestDevice>();
    configure(
        device.get(),
        QStringLiteral("maker=Apple;model=iPhone 7 128GB;market=iPhone 7;mac=f0:99:b6:12:34:56;battery=BS-1;"
                       "health=1;wear=7;cycles=412;current=2480;design=2815;tempvalid=1;temp=2950;"
                       "devid=DEV-1;usbid=1-1.4;usbserial=ABC-quillon-7;type=phone;amodel=A1778;fmip=1;"
                       "mdm=Locked;root=0;carrier=Carrier X;simlock=2;sim=1;diagstate=2;"
                       "diag=camera=1,speaker=1;lsb=1,0,1;sub=1,1,1;region=LL/A;imei=356789104567892;"
                       "pin=0x1a2b;status=8"));
    device->info().customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    return device;
}

} // namespace

class TestTagParser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
        m_log = std::make_unique<TestSupport::LogCapture>();
    }
    void init()
    {
        CustomFieldStore::instance()->clear();
        CustomFieldStore::instance()->setValue(QStringLiteral("line"), QStringLiteral("L2"));
        CustomFieldStore::instance()->setValue(QStringLiteral("empty"), QString());
        SettingsManager::instance()->removeKey(QStringLiteral("androidsettings_alternativeserial"));
        SettingsManager::instance()->removeKey(QStringLiteral("customidname"));
    }
    // Rows: the text, what it formats to, and the device's setup: "none" formats without a device,
    // "empty" with empty values for unknown ones, "loud" not quietly, "patch" through formatAndPatch,
    // "label" reads the text as a property label; other keys see configure().
    void tags_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("setup");
        const char* labels =
            "Device status|Rooted|Find My iPhone|Lost/Stolen/Blocked|Subscription status|DiskSize|"
            "Battery Health|Battery temperature";
        const char* durations = "<eraseduration>|<disksize>|<diskdesign>";
        const char* documentId = "<xmlreport /root/report/korvex_data/description/document_id>";
        const char* choices =
            "<devstatus A,B,C>|<rooted A,B,C>|<frp A,B>|<unsupported A,B>|<diagstatus A,B,C,D>|"
            "<fmip A,B,C,D>|<mdm A,B,C>";
        addRows({
            // Plain tags; in the preview (no device) choices and formatted values show example words.
            {"plain tags",
             "<devstatus>|<model>|<diagstatus>|<rooted>|<frp>|<SIMLOCKED>|<unsupported>|<fmip>|<mdm>|"
             "<substatus>|<lsb>",
             "erasure successful|iPhone 7 128GB|Passed|Not rooted|Passed|Locked|Passed|Locked|Locked|"
             "No restrictions|Lost, Blocked"},
            {"erasure, disk and battery tags",
             "<eraseduration>|<erasemethod>|<eraserounds>|<simstatus>|<disksize>|<diskdesign>|"
             "<batteryhealth>|<batterytemperature>|<alternativeserial>|<alternativesourceandserial>",
             "00:00:00|Unknown|Unknown|No|128GB|128GB|93%|30|Not enabled|Not enabled"},
            {"preview", "<devstatus>|<rooted>|<simstatus>|<batteryhealth>|<substatus>|<lsb>|a<map>b",
             "Erasure Successfull|Not available||-1%|Not found|Unknown|ab", "none"},
            // Attributes printed as they are.
            {"attributes",
             "<manufacturer>|<wifimac>|<batteryserial>|<batterycycles>|<batterycapacurrent>|"
             "<batterycapadesign>|<devid>|<usbid>|<type>|<amodelnumber>|<CARRIERNAME>|<region>",
             "Apple|f0:99:b6:12:34:56|BS-1|412|2480|2815|DEV-1|1-1.4|phone|A1778|Carrier X|LL/A"},
            {"in running text, a bare map", "Made by <manufacturer>.<map>", "Made by Apple."},
            // Choices by the device's state, the first or a fixed choice without a device.
            {"choices, no device",
             "<devstatus A,B,C>|<rooted A,B,C>|<frp A,B>|<unsupported A,B>|<diagstatus A,B,C,D>|"
             "<fmip A,B,C,D>|<mdm A,B,C>|<substatus all,A,B,C,D,E,F>|<lsb Yes,No>|"
             "<lsb L,S,B,Clean,None,Untested>|<diagresult camera>",
             "A|A|A|A|D|B|A|D|No|Clean|Not available", "none"},
            {"choices, first", choices, "A|B|A|A|A|A|A",
             "status=8;root=0;frp=1;unsupported=1;diagstate=2;diag=x=1;fmip=1;mdm=Locked"},
            {"choices, second", choices, "B|C|B|B|B|B|B",
             "status=9;root=-1;frp=0;unsupported=0;diagstate=2;diag=x=2;fmip=0;mdm=Unlocked"},
            {"choices, third", choices, "C|C|B|B|C|C|C", "status=3;root=2;diagstate=1;fmip=-1;mdm="},
            {"choices, fourth", choices, "C|C|B|B|C|D|C",
             "status=3;root=2;diagstate=2;diag=x=0;fmip=-3;mdm="},
            {"devstatus past the end, not diagnosed", "<devstatus A,B>|<diagstatus A,B,C,D>", "|D",
             "status=3;diagstate=0"},
            {"devstatus trimmed", "<devstatus  Erased , Failed ,Other>", "Failed", "status=9"},
            {"rooted unlisted", "<rooted A,B,C>", "A", "root=7"},
            {"substatus all restricted", "<substatus all,A,B,C,D,E,F>", "A", "sub=3,-3,-3"},
            {"substatus empty carrier", "<substatus ,A,B,C,D,E,F>", "B", "sub=2,1,-1"},
            {"substatus all untested, lsb past the end", "<substatus all,A,B,C,D,E,F>|<lsb L,S,B>", "F|",
             "sub=-3,-3,-3;lsb=-3,-3,-3"},
            {"substatus kddi", "<substatus kddi,A,B,C,D,E,F>", "B", "sub=2,-3,-3"},
            {"substatus SoftBank", "<substatus SoftBank,A,B,C,D,E,F>", "E", "sub=2,-1,-3"},
            {"substatus DOCOMO", "<substatus DOCOMO,A,B,C,D,E,F>", "D", "sub=2,-1,0"},
            {"substatus unknown carrier", "<substatus vodafone,A,B,C,D,E,F>", "", "sub=3,3,3"},
            {"lsb, two", "<lsb Yes,No>|<lsb L,S,B,Clean,None,Untested>", "Yes|L, B", "lsb=1,0,1"},
            {"lsb, clear", "<lsb Yes,No>|<lsb L,S,B,Clean,None,Untested>", "No|Clean", "lsb=0,0,0"},
            {"lsb short, partly tested", "<lsb Yes,No>", "", "lsb=-3,0,0"},
            {"lsb long, as written", "<lsb L , S,B,Clean,None,Untested>", "L ,  S", "lsb=1,1,0"},
            {"diagresult",
             "<diagresult pass,P,F,NP,NA>|<diagresult camera,P,F,NP,NA>|<diagresult odd,P,F,NP,NA>|"
             "<diagresult missing,P,F,NP,NA>",
             "P|F|NP|NA", "diag=pass=1,x=1,CAMERA=0,odd=x"},
            {"diagresult short form, word", "<diagresult camera,P,F, , >|<diagresult speaker>", " |Failed",
             "diag=camera=2,speaker=0"},
            // SIM status by the information present and the cards' flags.
            {"simstatus no information", "<simstatus>", "N/A", "sim=0;cards=1"},
            {"simstatus one card", "<simstatus>", "Yes", "cards=0"},
            {"simstatus second of two flagged", "<simstatus>", "Unknown", "cards=01"},
            {"simstatus two, none flagged", "<simstatus>", "Yes", "cards=00"},
            // Letter case: only the tags meant to match in any case do.
            {"letter case",
             "<SIMSTATUS>|<DiskSize>|<DISKDESIGN>|<CUSTOMFIELD line>|<Model>|<carriername>|<DEVSTATUS a,b,c>",
             "No|128GB|128GB|L2|<Model>|<carriername>|<DEVSTATUS a,b,c>"},
            {"map keys and stop",
             "<map src=Model in=X out=Y>|<map src=Model in=X out=Y else=Z>|<map s=Model i=X o=Y e=Z>|"
             "<map SRC=Model IN=\"iPhone 7 128GB\" OUT=yes>|"
             "<map src=Model cmp=st stop=false in=iPhone out=A in=iP out=B>|"
             "<map src=Model stop=false in=\"iPhone 7 128GB\" out=A else=B>",
             "|Z|Z|yes|AB|A"},
            {"map comparisons",
             "<map src=Model in=\"IPHONE 7 128GB\" out=yes else=no>|"
             "<map src=Model cis=t in=\"IPHONE 7 128GB\" out=yes else=no>|"
             "<map src=Model cmp=st in=iPhone out=apple>|"
             "<map src=Model cmp=START cmp=eq in=iPhone out=apple else=no>|"
             "<map src=Model cmp=like in=\"iPhone 7 128GB\" out=a else=b>",
             "no|yes|apple|no|b"},
            {"else values: escapes, tags stay",
             "<map src=Model in=X else=\"say \\\"hi\\\" \\\\o/\">|"
             "<map src=Model in=X else=\"<manufacturer>\">",
             "say \"hi\" \\o/|<manufacturer>"},
            {"unknown key stops, value glued to next",
             "<map src=Model foo=1 else=Z>|<map src=Model in=\"X\"else=Z>", "|"},
            {"unterminated quote", "<map src=Model in=X else=\"open end>", "open end"},
            {"map sources",
             "<map in=X out=Y else=none>|<map src=\"customfield:line\" in=L2 out=second>|"
             "<map src=\"Device custom field: colour\" in=blue out=B>|"
             "<map src=diagresult:camera in=Passed out=ok>|"
             "<map src=substatus:kddi in=\"No restrictions\" out=free>|"
             "<map loc=false src=\"Device status\" in=\"erasure successful\" out=E>",
             "none|second|B|ok|free|E"},
            {"sizes",
             "<bytes2human 1500000>|<bytes2ihuman 1536>|<bytes2human 1000>|<bytes2human 1001>|"
             "<bytes2human 1999>|<bytes2human 1150>|<bytes2human 0>|<bytes2human 18446744073709551615>|"
             "<bytes2human <batterycycles>>|<bytes2human abc>|<bytes2human -5>|<bytes2human "
             "18446744073709551616>",
             "1.50 MB|1.50 kiB|1000.00 B|1.00 kB|1.99 kB|1.15 kB|0.00 B|18.44 EB|412.00 "
             "B|abc|-5|18446744073709551616"},
            {"unknown tag stays, tag in brackets", "<foo> <<model>>", "<foo> <iPhone 7 128GB>"},
            {"unclosed stops scanning", "<<model> <type>", "<<model> <type>"},
            {"value not formatted again", "<model>", "<manufacturer>", "model=<manufacturer>"},
            {"empty", "", ""},
            {"brackets only, lone closing bracket", "a > b <> <type>", "a > b <> phone"},
            {"first of, MEID only, freetext and field name",
             "<firstid IMEI,MEID>=<firstvalue IMEI,MEID>|<firstid IMEI,(freetext)No <type>>|"
             "<firstvalue IMEI,(freetext)none>|<firstid IMEI,(devcustomfield)colour>",
             "MEID=M1|No phone|none|colour", "imei=;meid=M1"},
            {"first of, first wins", "<firstid IMEI, MEID>=<firstvalue MEID,IMEI>", "IMEI=M1",
             "imei=I1;meid=M1"},
            {"other label kept, unknown words count as values",
             "<firstid Manufacturer>|<firstvalue IMEI,MDM>", "Manufacturer|Unknown", "imei=;mdm=x"},
            {"nested in the bound", "<bytes2human <bytes2ihuman <batterycycles>>>", "10.00 B", "none"},
            {"size of a report value",
             "<bytes2human <xmlreport /root/report/korvex_data/korvex_erasure_report/erasures/erasure/target/"
             "capacity>>",
             "128.00 GB", "report"},
            // Empty for unknown values; fixed example words stay.
            {"no device, empty", "<fmip>|<rooted>|<frp>", "||Unknown", "none;empty"},
            {"unknown values", "<mdm>|<lsb>|<lsb L,S,B,Clean,None,Untested>", "Unknown|Unknown|None",
             "mdm=Maybe;lsb=0,-3,0"},
            {"unknown values, empty", "<mdm>|<lsb>|<fmip>", "||", "mdm=Maybe;lsb=0,-3,0;fmip=-1;empty"},
            {"lsb untested", "<lsb>|<lsb L,S,B,Clean,None,Untested>", "|Untested", "lsb=-3,-2,-3"},
            {"lsb clear, empty", "<lsb>", "Passed", "lsb=0,0,0;empty"},
            // Durations and disk sizes: one or more erasures, leading process steps, sizes by rounding.
            {"one erasure", durations, "01:02:03|120GB|128GB", "disks=128000000000:3723"},
            {"two erasures", durations, "101:00:00|64GB2GB|64GB2GB",
             "disks=68719476736:3600,2147483648:360000"},
            {"leading steps", durations, "00:02:00|1GB|2GB", "steps=1,1,2,1;disks=1"},
            {"beyond 1 TiB", durations, "00:00:00|1863GB|1863GB", "disks=2000000000000:0"},
            {"just above", "<disksize>|<diskdesign>", "257GB|512GB", "disks=274877906945:0"},
            // Custom fields: the store's and the device's (falling back to the store's).
            {"custom fields",
             "<customfield line>|[<customfield empty>]|<customfield nothing> <type>|<devcustomfield colour>|"
             "<devcustomfield line>|<devcustomfield nothing> <type>",
             "L2|[]|<customfield nothing> phone|blue|L2|<devcustomfield nothing> phone"},
            // Report paths: values, the path shown where there is none, refused path syntax.
            {"xml value and section entry",
             "<xmlreport /root/report/korvex_data/description/document_id>|"
             "<xmlreport /root/report/korvex_data/korvex_hardware_report/system/imei>",
             "5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35|356789104567892", "report"},
            {"xml missing, short path", "<xmlreport /root/report/korvex_data/nothing/here>|<xmlreport /x>",
             ".../nothing/here|/x", "report"},
            {"xml undated report", documentId, ".../description/document_id", "undated"},
            {"xml refused path", "<xmlreport /root/report/x|doc('/etc/hostname')>", ".../etc/hostname')",
             "report"},
            {"alternative serials when enabled, own name of the device identifier",
             "<alternativeserial>|<alternativesourceandserial>|"
             "<firstid Device identifier>: <firstvalue Device identifier>",
             "ALT-1|src:ALT-1|Asset tag: DEV-1", "alt;idname=Asset tag"},
            // Property labels (a row's text holds several): values read differently from their tags,
            // bounds and rounding.
            {"labels of the device", "PIN|USB serial|(devcustomfield)colour|No such label", "1a2b|ABC|blue|",
             "label"},
            {"labels, first", labels, "not supported|ROOTED||Lost||64GB|0%|29",
             "label;status=21;root=3;fmip=7;lsb=1,0,0;sub=4,3,1;model=Tab 2TB 64GB;wear=120;temp=2949"},
            {"labels, second", labels,
             "unknown|Custom Firmware|Unknown|Lost, Stolen, Blocked|May be restricted|Unknown|100%|-29",
             "label;status=5;root=2;fmip=2;lsb=1,1,1;sub=2,1,0;model=Tab 64gb;wear=-4;temp=-2950"},
            {"labels, third", labels, "unknown||Unknown|Lost, Stolen, Blocked|Unknown|Unknown|-1%|",
             "label;status=5;root=9;fmip=2;lsb=1,1,1;sub=-1,0,0;model=Tab 64gb;health=0;tempvalid=0"},
            {"label diag not performed", "Diagnostics status", "Not performed", "label;diag=a=2"},
            {"label diag state 1", "Diagnostics status", "Failed", "label;diagstate=1;diag=a=1"},
            {"label diag one of two failed", "Diagnostics status", "FAILED", "label;diag=a=1,b=0"},
            {"label diag unknown code", "Diagnostics status", "FAILED", "label;diag=a=7"},
            {"label diag no results", "Diagnostics status", "Passed", "label;diag="},
            // The final pass of the upper-case tags a report device fills: by the format itself when
            // loud, by formatAndPatch otherwise, with examples in the preview; only these tags.
            {"final market name, loud", "<MARKETNAME>", "iPhone 12", "copied;loud"},
            {"final market name, quiet", "<MARKETNAME>", "<MARKETNAME>", "copied"},
            {"final preview, patched", "<MARKETNAME> <IMEI>/<MEID>",
             "iPhone 4 012345678901234/012345678901234", "none;patch"},
            {"final, patched", "Grüße 日本 <SERVERVALUE x> <MARKETNAME> <IMEI>/<MEID>",
             "Grüße 日本 <SERVERVALUE x> iPhone 12 356789104567892/35678910456789", "copied;patch"},
            // Diagnostics lists by result.
            {"diaglist failed and ok", "<diaglist FAILED,OK>", "cam: Passed\nmic: Failed", "loud;results"},
            {"diaglist not performed or available", "<diaglist NOT PERFORMED,NOT AVAILABLE>",
             "gps: Not performed\nnfc: Not performed\nlte: Not available", "loud;results"},
            {"diaglist lower case ignored", "<diaglist ok,failed>", "", "loud;results"},
        });
        QTest::newRow("date") << "<date  yyyy-MM >"
                              << QDate::currentDate().toString(QStringLiteral("yyyy-MM")) << QString();
    }
    void tags()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QString, setup);
        const QStringList keys = setup.split(QLatin1Char(';'));
        auto device = fullDevice();
        configure(device.get(), setup);
        Device* used = keys.contains(QLatin1String("none")) ? nullptr : device.get();
        const bool emptyForUnknown = keys.contains(QLatin1String("empty"));
        const bool quiet = !keys.contains(QLatin1String("loud"));
        const bool list = text.startsWith(QLatin1String("<diaglist"));
        TagParser parser;
        if (keys.contains(QLatin1String("label"))) {
            QStringList values;
            for (const QString& label : text.split(QLatin1Char('|')))
                values << parser.propertyValue(used, label, emptyForUnknown, true);
            text = values.join(QLatin1Char('|'));
        } else if (keys.contains(QLatin1String("patch")))
            QVERIFY(parser.formatAndPatch(text, used, emptyForUnknown, quiet));
        else
            QVERIFY(parser.formatContent(text, used, emptyForUnknown, quiet));
        QCOMPARE(text, expected);
        // The parser tells whether the last text it formatted held a diagnostics list.
        QCOMPARE(parser.hasDiagnosticsList(), list);
        QString plain = QStringLiteral("<model>");
        parser.formatContent(plain, used, false, quiet);
        QVERIFY(!parser.hasDiagnosticsList());
    }
    // Texts outside the table: a first-of tag without a value is named in the log once unless
    // quiet; tags nested far deeper than the bound neither crash nor vanish.
    void firstMessagesAndDeepNesting()
    {
        auto device = fullDevice();
        configure(device.get(), QStringLiteral("imei=;meid="));
        TagParser parser;
        for (const bool quiet : {true, false}) {
            QString text = QStringLiteral("ID <firstid IMEI,MEID> V <firstvalue MEID,IMEI>");
            parser.formatContent(text, device.get(), false, quiet);
            QCOMPARE(text, QStringLiteral("ID  V "));
            QCOMPARE(m_log->count(QStringLiteral("'<first")), quiet ? 0 : 2);
        }
        QString text = QStringLiteral("<bytes2human ").repeated(2000) + QStringLiteral("1500000");
        text += QString(2000, QLatin1Char('>'));
        parser.formatContent(text, nullptr, false, true);
        QVERIFY(!text.isEmpty());
    }

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<TestSupport::LogCapture> m_log;
};

QTEST_GUILESS_MAIN(TestTagParser)
#include "tst_tagparser.moc"
