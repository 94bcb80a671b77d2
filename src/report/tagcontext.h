#pragma once
// What a tag handler sees of one formatting call: the device, the caller's flags and the ways back
// into the parser for nested text.

#include <QString>
#include <QStringList>

class Device;
class DiagnosticsTestCatalogue;
class TagParser;
struct DeviceInfo;

struct TagContext
{
    TagParser* parser = nullptr;
    Device* device = nullptr; // null in the editor's preview: handlers give example values
    bool emptyForUnknown = false;
    bool quiet = false;
    bool translate = true;
    int depth = 0;
    const char* signature = "";
    const QString* original = nullptr; // the unformatted text, for messages

    // The device's attributes, or null without a device.
    const DeviceInfo* info() const;
    // Words are translated for printing and kept in English for values that are compared.
    QString word(const char* text) const;
    // "Unknown" and "Not available", or empty when the caller asked for empty unknowns.
    QString unknown() const;
    QString notAvailable() const;
    // text with its tags formatted one nesting level deeper.
    QString format(const QString& text) const;
    // The diagnostics test catalogue of this call, made on first use.
    DiagnosticsTestCatalogue* catalogue() const;
    // Tells the text object that the text held a diagnostics list.
    void noteDiagnosticsList() const;
};

// One alternative of a choice tag by position; past the end gives an empty string.
QString pick(const QStringList& alternatives, int index, bool trim = true);
// The same for the comma-separated argument of a choice tag.
QString choose(const QString& arg, int index);
