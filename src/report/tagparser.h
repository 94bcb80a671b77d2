#pragma once
// Turns label text with tags into printed text for one device, or example text without one. The
// tags, their scanning order and their handlers are the tables of report/tagtable.h.

#include "report/tagcontext.h"

#include <QObject>
#include <QString>

#include <memory>

class Device;
class DiagnosticsTestCatalogue;

class TagParser : public QObject
{
    Q_OBJECT
public:
    explicit TagParser(QObject* parent = nullptr);
    ~TagParser() override;

    // Replaces every tag of content in place; device may be null (preview with example values).
    // Always returns true.
    bool formatContent(QString& content, Device* device, bool emptyForUnknown, bool quiet);
    // formatContent, then the upper-case device tags for a real device.
    bool formatAndPatch(QString& content, Device* device, bool emptyForUnknown, bool quiet);
    QString propertyValue(Device* device, QString label, bool emptyForUnknown, bool translate);
    // Label lookup with the custom-field, diagnostics and subscription prefixes, for the device of
    // the text being formatted.
    QString valueForLabel(QString label);
    // Display name of an identifier label.
    QString propertyName(QString label);
    static QString humanReadableSize(quint64 bytes, bool binary);
    // The upper-case device tags ("<MARKETNAME>", "<IMEI>", "<MEID>") of UTF-8 text; other
    // upper-case tags stay.
    QByteArray patchRealValuesImpl(const QByteArray& text, Device* device, QObject* processRoot);

    // Whether the last formatted text held a diagnostics list.
    bool hasDiagnosticsList() const { return m_diagnosticsList; }

    // Nesting of tags inside tag arguments deeper than this is left unformatted.
    static constexpr int kMaxNesting = 32;

private:
    friend struct TagContext;

    enum class Outcome
    {
        Replace, // the tag gives way to the value
        Keep,    // a known tag without a value: it stays, scanning goes on after it
        NoMatch  // not a tag: scanning goes on one character after its "<"
    };

    void formatTags(QString& content, const TagContext& context);
    Outcome handleTag(const QString& tag, const TagContext& context, QString* value);
    QString formatNested(const QString& text, const TagContext& context);
    DiagnosticsTestCatalogue* catalogue();

    bool m_diagnosticsList = false;
    TagContext m_current; // the call in progress, for valueForLabel
    std::unique_ptr<DiagnosticsTestCatalogue> m_catalogue;
};
