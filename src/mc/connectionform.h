#pragma once
// The decisions of the settings panel: which console fields are still missing, and what a new
// report-id watermark does to the reports around it before it is stored.

#include <QObject>
#include <QStringList>

class SettingsManager;

class ConnectionForm : public QObject
{
    Q_OBJECT
    // The stored watermark, following every change the program makes while the panel is open.
    Q_PROPERTY(qint64 storedReportId READ reportId NOTIFY reportIdChanged)
public:
    explicit ConnectionForm(SettingsManager* settings, QObject* parent = nullptr);

    // Names of the console fields that are empty, in the panel's order.
    Q_INVOKABLE QStringList missingFields() const;
    // What the last connection check found beyond its state; empty when nothing.
    Q_INVOKABLE QString failureDetail() const;
    // The stored watermark ("MC/lastReportId"); -1 when there is none yet.
    Q_INVOKABLE qint64 reportId() const;
    // What storing `entered` as the watermark does: how many report ids are skipped or fetched
    // again, as a question for the user; empty when nothing needs asking (same value, no stored
    // value yet, or not a number).
    Q_INVOKABLE QString reportIdQuestion(const QString& entered) const;
    // Stores `entered` when it is a number of digits only; false (and a log line) otherwise.
    Q_INVOKABLE bool commitReportId(const QString& entered);

    static bool isReportId(const QString& text, qint64* value);

signals:
    void reportIdChanged();
    // A console field was written by the panel.
    void fieldsEdited();

private:
    SettingsManager* m_settings;
};
