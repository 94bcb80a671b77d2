#include "shared/diagnosticstestcatalogue.h"

#include <algorithm>

DiagnosticsTestCatalogue::DiagnosticsTestCatalogue()
{
    for (const QString& name : builtInTests())
        m_tests.insert(name);
}

QStringList DiagnosticsTestCatalogue::testNames() const
{
    QStringList names(m_tests.begin(), m_tests.end());
    std::sort(names.begin(), names.end());
    return names;
}

const QStringList& DiagnosticsTestCatalogue::builtInTests()
{
    static const QStringList tests = {
        QStringLiteral("accelerometer"), QStringLiteral("battery"),      QStringLiteral("bluetooth"),
        QStringLiteral("buttons"),       QStringLiteral("camera_front"), QStringLiteral("camera_rear"),
        QStringLiteral("compass"),       QStringLiteral("display"),      QStringLiteral("flashlight"),
        QStringLiteral("gps"),           QStringLiteral("gyroscope"),    QStringLiteral("headphone_jack"),
        QStringLiteral("microphone"),    QStringLiteral("proximity"),    QStringLiteral("sim_reader"),
        QStringLiteral("speaker"),       QStringLiteral("touch_screen"), QStringLiteral("vibration"),
        QStringLiteral("wifi"),
    };
    return tests;
}
