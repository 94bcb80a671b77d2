#pragma once
// The print driver: prints each report a job fetched with the job's layout on the job's printer,
// records it in the printed-reports log, and serves printer lists and previews to the interface.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

class QPrinter;

class PrintHandler : public QObject
{
    Q_OBJECT
public:
    explicit PrintHandler(QObject* parent = nullptr);

    // Reports handed over by printReports that are not printed yet.
    int pendingReports() const { return m_queue.size(); }

    // The layout document of a job's layout name; empty when it cannot be loaded.
    static QJsonObject loadLayoutFile(const QString& layoutName);

public slots:
    void printReports(const QString& jobname, const QString& label, const QString& printer,
                      const QStringList& rp, int reportsFrom, int reportsTo);
    bool doPrint(const QByteArray& data, const QString& jobname, const QString& layout,
                 const QString& printer, QString& error);
    QPrinter* loadPrinter(const QString& name);
    QStringList activePrinters();
    QString formatText(const QString& text, bool tickBox);
    void createPreviewImage(const QJsonObject& json);
    QStringList getAllPagesizes();
    // Prints a layout once with example values (no report) so its look can be checked on paper;
    // false, with a popup note and a status text, when it could not be printed.
    Q_INVOKABLE bool testPrint(const QJsonObject& layout, const QString& printer);

signals:
    // Progress and failure texts for the window's status bar.
    void statusBarMessage(QString message);
    // Every PDF the built-in file printer wrote (path), for whoever archives or shows them.
    void labelFileWritten(QString path);

private:
    struct PendingReport
    {
        QString jobName;
        QString layout;
        QString printer;
        QString report;
        int reportsFrom;
        int reportsTo;
        int number;
        int count;
    };
    // Prints the oldest pending report, then lets the event loop run before the next one.
    void printNext();

    // The user must learn that a label was not printed: a popup note and a status-bar text.
    void reportFailure(int noteType, const QString& title, const QString& text);

    QList<PendingReport> m_queue;
    bool m_scheduled = false;
};
