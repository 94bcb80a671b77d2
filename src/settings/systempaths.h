#pragma once
// The process-wide table of the program's directories and settings file names.

#include <QString>

struct SystemPaths
{
    QString globalSettingsFile;
    QString homeDir;
    QString globalHomeDir;
    QString rootDir;
    QString binDir; // set only in the fixed layout
    QString activeDir;
    QString evalUserDir;
    QString userSettingsFile;
    QString layoutDir;
    QString processDir;
    QString downerDir;
    QString iosDir;
    QString cacheDir;
    QString usbIdsFile;
    QString dataDir;

    // The table in use. Built with the fixed layout when nothing was selected before.
    static const SystemPaths& instance();

    // Builds the layout under the application-data location and creates its directories.
    // Must run before the settings store or the log is created.
    static const SystemPaths& selectComputedLayout();

    // The layout of an installed station image (absolute /opt paths).
    static SystemPaths fixedLayout();
    // The layout under a given root; creates no directories.
    static SystemPaths computedLayout(const QString& root);
    // The root of the computed layout: the second application-data location, or the per-user one
    // when the second is not writable.
    static QString computedRoot();
};
