#include "app/previewreport.h"

#include "app/samplereportmodel.h"
#include "printing/printworker.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"

#include <QDebug>
#include <QMutexLocker>

PreviewReport::PreviewReport(SampleReportModel* reports, QObject* parent)
    : QObject(parent), m_reports(reports), m_title(tr("Example values"))
{}

PreviewReport::~PreviewReport() = default;

Device* PreviewReport::device() const
{
    return m_device.get();
}

QObject* PreviewReport::deviceObject() const
{
    return m_device.get();
}

QVariantMap PreviewReport::objectProblems() const
{
    QVariantMap byId;
    for (const QVariant& entry : m_problems) {
        const QVariantMap problem = entry.toMap();
        const int id = problem.value(QStringLiteral("id")).toInt();
        if (id >= 0)
            byId.insert(QString::number(id), problem.value(QStringLiteral("problem")));
    }
    return byId;
}

bool PreviewReport::choose(int index)
{
    if (index == m_index && (index >= 0 || !m_device))
        return true;
    if (index < 0 || !m_reports || index >= m_reports->count()) {
        m_oldDevice = std::move(m_device);
        m_oldDocument = std::move(m_document);
        m_index = -1;
        m_title = tr("Example values");
        emit changed();
        render();
        return index < 0;
    }
    if (!load(m_reports->reportAt(index), m_reports->labelAt(index)))
        return false;
    m_index = index;
    emit changed();
    render();
    return true;
}

void PreviewReport::next()
{
    if (m_reports && m_index + 1 < m_reports->count())
        choose(m_index + 1);
}

void PreviewReport::previous()
{
    if (m_index > 0)
        choose(m_index - 1);
}

bool PreviewReport::setReport(const QByteArray& xml, const QString& title)
{
    if (!load(xml, title))
        return false;
    m_index = -1;
    emit changed();
    render();
    return true;
}

bool PreviewReport::load(const QByteArray& xml, const QString& title)
{
    auto document = std::make_unique<ReportDocument>();
    QString error;
    if (xml.isEmpty() || !document->parse(xml, &error)) {
        qWarning() << "The report to preview with cannot be read:"
                   << (xml.isEmpty() ? QStringLiteral("gone") : error);
        return false;
    }
    auto device = std::make_unique<ReportDevice>();
    device->setReport(document.get(), true);
    m_oldDevice = std::move(m_device);
    m_oldDocument = std::move(m_document);
    m_document = std::move(document);
    m_device = std::move(device);
    m_title = title;
    return true;
}

void PreviewReport::check(const QJsonObject& layout)
{
    m_layout = layout;
    render();
}

QImage PreviewReport::image() const
{
    QMutexLocker locker(&m_imageLock);
    return m_image;
}

void PreviewReport::render()
{
    if (m_layout.isEmpty())
        return;
    PrintWorker worker(QString(), m_layout, QSizeF(60.0, 60.0), QString(), m_device.get(), 1, false);
    const QImage picture = worker.renderLabelAt(kDpi);
    QVariantList problems;
    for (const PrintWorker::ObjectProblem& problem : worker.objectProblems()) {
        problems.append(QVariantMap{
            {QStringLiteral("id"), problem.id},
            {QStringLiteral("object"), problem.object},
            {QStringLiteral("problem"), problem.problem},
            {QStringLiteral("text"), QStringLiteral("%1: %2").arg(problem.object, problem.problem)}});
    }
    {
        QMutexLocker locker(&m_imageLock);
        m_image = picture;
    }
    ++m_imageRevision;
    emit imageChanged();
    if (problems != m_problems) {
        m_problems = problems;
        emit problemsChanged();
    }
}
