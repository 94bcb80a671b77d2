#pragma once
// The report a layout is previewed with, chosen from the sample reports (or none: example values).
// It is parsed once into a device that the editor's canvas, the layouts view's picture and the test
// print all use, and it tells how each object of the layout being looked at comes out for it.
//
// For the canvas: device() (also the QML property "device") is the chosen report's device, or null
// for example values (TagParser then gives example values). It belongs to this object and stays valid
// until the next changed() signal, after which it must be read again.

#include "app/samplereportmodel.h"

#include <QImage>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

class Device;
class ReportDevice;
class ReportDocument;

class PreviewReport : public QObject
{
    Q_OBJECT
    Q_PROPERTY(SampleReportModel* reports READ reports CONSTANT)
    // The chosen row of reports; -1 for example values.
    Q_PROPERTY(int index READ index WRITE choose NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QObject* device READ deviceObject NOTIFY changed)
    // {"id", "object", "problem", "text"} for each object of the checked layout that comes out empty,
    // elided, wider than its box or not at all for the report, in layout order.
    Q_PROPERTY(QVariantList problems READ problems NOTIFY problemsChanged)
    // The same by object id ("item_id" as text): the problem's text, for marking objects.
    Q_PROPERTY(QVariantMap objectProblems READ objectProblems NOTIFY problemsChanged)
    // Grows with every new picture of the checked layout (a cache breaker for the image provider).
    Q_PROPERTY(int imageRevision READ imageRevision NOTIFY imageChanged)

public:
    explicit PreviewReport(SampleReportModel* reports, QObject* parent = nullptr);
    ~PreviewReport() override;

    SampleReportModel* reports() const { return m_reports; }
    int index() const { return m_index; }
    QString title() const { return m_title; }
    Device* device() const;
    QObject* deviceObject() const;
    QVariantList problems() const { return m_problems; }
    QVariantMap objectProblems() const;
    int imageRevision() const { return m_imageRevision; }

    // Chooses a row of the reports (-1: example values); false, keeping the choice, when its report
    // cannot be read.
    Q_INVOKABLE bool choose(int index);
    // The next and previous row (the list is newest first); the first step from example values
    // goes to the newest report.
    Q_INVOKABLE void next();
    Q_INVOKABLE void previous();
    // Uses a report text directly; false (with a log line) when it does not parse.
    bool setReport(const QByteArray& xml, const QString& title);

    // Renders the layout as printed for the report (at kDpi, at the layout's size) and lists how
    // its objects came out; again whenever the report changes.
    Q_INVOKABLE void check(const QJsonObject& layout);
    // The last rendered picture; safe from any thread (the image provider reads it).
    QImage image() const;

    static constexpr double kDpi = 300.0;

signals:
    void changed();
    void problemsChanged();
    void imageChanged();

private:
    // Parses the report and makes its device; the current ones stay when it cannot be read.
    bool load(const QByteArray& xml, const QString& title);
    void render();

    SampleReportModel* m_reports;
    int m_index = -1;
    QString m_title;
    // The chosen report and its device; the ones before stay one change longer, so a reader that
    // holds the old device until it hears changed() never reads a freed one.
    std::unique_ptr<ReportDocument> m_document;
    std::unique_ptr<ReportDevice> m_device;
    std::unique_ptr<ReportDocument> m_oldDocument;
    std::unique_ptr<ReportDevice> m_oldDevice;
    QJsonObject m_layout;
    QVariantList m_problems;
    mutable QMutex m_imageLock;
    QImage m_image;
    int m_imageRevision = 0;
};
