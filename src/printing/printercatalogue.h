#pragma once
// The printers a job or a test print can choose, and the papers they offer, as the platform's print
// support lists them. The list is read on a thread of its own and kept: a print system that does not
// answer never holds the window or the labels of other printers.

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class PrinterCatalogue : public QObject
{
    Q_OBJECT
public:
    explicit PrinterCatalogue(QObject* parent = nullptr);
    ~PrinterCatalogue() override;

    // The local platform printers (as last read; asks again), the ZPL label printers and the
    // built-in PDF printer.
    QStringList printers();
    // Every paper of the platform printers as "<w>mm x <h>mm", as last read.
    QStringList pageSizes() const;
    // Reads the list again in the background, unless a reading is still under way.
    void refresh();
    // A reading has not come back yet (the print system does not answer).
    bool busy() const;

    // How often the list is read while nobody asks.
    static constexpr int kRefreshMs = 30000;

signals:
    void changed();

private:
    struct Reading;
    void apply(const QStringList& printers, const QStringList& pageSizes);

    std::shared_ptr<Reading> m_reading;
    QStringList m_printers; // of the platform
    QStringList m_pageSizes;
    QTimer m_timer;
};
