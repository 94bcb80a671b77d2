#include "printing/printercatalogue.h"

#include "printing/fileprinter.h"
#include "printing/zplprinters.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QMutex>
#include <QPageSize>
#include <QPrinterInfo>

#include <thread>

// Shared with the reading thread, which may outlive the catalogue when the print system hangs.
struct PrinterCatalogue::Reading
{
    QMutex lock;
    bool running = false;
    PrinterCatalogue* owner = nullptr; // cleared when the catalogue goes
};

PrinterCatalogue::PrinterCatalogue(QObject* parent) : QObject(parent), m_reading(std::make_shared<Reading>())
{
    m_reading->owner = this;
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &PrinterCatalogue::refresh);
    m_timer.start();
    refresh();
}

PrinterCatalogue::~PrinterCatalogue()
{
    QMutexLocker locker(&m_reading->lock);
    m_reading->owner = nullptr;
}

QStringList PrinterCatalogue::printers()
{
    refresh();
    QStringList names = m_printers;
    for (const ZplPrinterConfig& printer : ZplPrinters::read(SettingsManager::instance()))
        names << printer.name;
    names << FilePrinter::kName;
    return names;
}

QStringList PrinterCatalogue::pageSizes() const
{
    return m_pageSizes;
}

bool PrinterCatalogue::busy() const
{
    QMutexLocker locker(&m_reading->lock);
    return m_reading->running;
}

void PrinterCatalogue::refresh()
{
    {
        QMutexLocker locker(&m_reading->lock);
        if (m_reading->running)
            return;
        m_reading->running = true;
    }
    // Detached: a print system that never answers keeps only this thread waiting, and the
    // program can still end.
    std::thread([reading = m_reading] {
        QStringList printers;
        QStringList sizes;
        const QList<QPrinterInfo> infos = QPrinterInfo::availablePrinters();
        for (const QPrinterInfo& info : infos) {
            if (info.isRemote())
                continue;
            printers << info.printerName();
            for (const QPageSize& page : info.supportedPageSizes()) {
                const QRect mm = page.rect(QPageSize::Millimeter).toRect();
                sizes << QStringLiteral("%1mm x %2mm").arg(mm.width()).arg(mm.height());
            }
        }
        QMutexLocker locker(&reading->lock);
        reading->running = false;
        if (reading->owner)
            QMetaObject::invokeMethod(
                reading->owner, [owner = reading->owner, printers, sizes] { owner->apply(printers, sizes); },
                Qt::QueuedConnection);
    }).detach();
}

void PrinterCatalogue::apply(const QStringList& printers, const QStringList& pageSizes)
{
    if (printers == m_printers && pageSizes == m_pageSizes)
        return;
    qDebug() << "Platform printers:" << printers;
    m_printers = printers;
    m_pageSizes = pageSizes;
    emit changed();
}
