#pragma once
// What identifies the device of a report on its label (IMEI, serial number, model), read straight
// from the report text so that many archived reports can be read quickly.

#include <QByteArray>
#include <QString>

class ReportTree;

struct ReportIdentity
{
    QString imei;
    QString serial;
    QString model;

    // The identifier a label shows for the device: its IMEI, or its serial number when it has none.
    QString deviceId() const { return imei.isEmpty() ? serial : imei; }
    bool isEmpty() const { return imei.isEmpty() && serial.isEmpty() && model.isEmpty(); }

    // Reads the hardware report's system section (and an older product's IMEI); stops after it.
    static ReportIdentity scan(const QByteArray& xml);
    // The same from a report already read into its tree, without reading the text again.
    static ReportIdentity read(const ReportTree& tree);
};
