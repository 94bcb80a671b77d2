#pragma once
// Faults that console requests meet on purpose: a status, a garbage body, a dropped connection, a delay,
// or the real reply spoiled after it was made (cut short with status 200, or cut off mid-transfer).

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

class FaultInjector
{
public:
    enum class Kind
    {
        Status,
        Garbage,
        Drop,
        Delay,
        // The real reply's body, only its first half, as a complete 200 reply.
        Truncate,
        // The real reply announced whole with status 200, then the connection closes halfway.
        Cut
    };

    struct Fault
    {
        Kind kind = Kind::Status;
        int status = 500;
        int delayMs = 0;
        // Requests still to meet the fault; -1 means until the faults are cleared.
        int times = 1;
    };

    // Reads a fault from its JSON form {"path", "kind", "status", "delayMs", "times"}; a later fault
    // for the same path replaces the earlier one. Returns false with *error on bad input.
    bool set(const QByteArray& json, QString* error);
    void set(const QString& path, const Fault& fault);
    int clear();

    // The fault that the next request to `path` meets, counting it as used.
    std::optional<Fault> take(const QString& path);

    static std::optional<Kind> kindFromName(const QString& name);

private:
    std::mutex m_mutex;
    QHash<QString, Fault> m_faults;
};
