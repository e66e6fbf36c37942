#include "platform/engine/EngineProtocol.h"

#include <QCborValue>

QCborMap EngineProtocol::message(QLatin1StringView what)
{
    QCborMap map;
    map[kind] = what;
    return map;
}

bool EngineProtocol::is(const QCborMap &message, QLatin1StringView what)
{
    return message.value(kind).toString() == what;
}

QCborMap EngineProtocol::fromEntry(const XADEntryInfo &entry)
{
    QCborMap map;
    map[QLatin1StringView("path")] = entry.path;
    map[QLatin1StringView("size")] = entry.size;
    map[QLatin1StringView("directory")] = entry.isDirectory;
    map[QLatin1StringView("encrypted")] = entry.isEncrypted;
    return map;
}

XADEntryInfo EngineProtocol::toEntry(const QCborValue &value)
{
    const QCborMap map = value.toMap();
    XADEntryInfo entry;
    entry.path = map.value(QLatin1StringView("path")).toString();
    entry.size = map.value(QLatin1StringView("size")).toInteger(-1);
    entry.isDirectory = map.value(QLatin1StringView("directory")).toBool();
    entry.isEncrypted = map.value(QLatin1StringView("encrypted")).toBool();
    return entry;
}

QCborMap EngineProtocol::fromName(const XADString &name)
{
    QCborMap map = message(encodingRequest);
    map[QLatin1StringView("bytes")] = name.data();
    map[QLatin1StringView("encoding")] = qint64(name.encoding());
    map[QLatin1StringView("confidence")] = double(name.confidence());
    return map;
}

XADString EngineProtocol::toName(const QCborMap &message)
{
    return XADString(message.value(QLatin1StringView("bytes")).toByteArray(),
                     quint64(message.value(QLatin1StringView("encoding")).toInteger()),
                     float(message.value(QLatin1StringView("confidence")).toDouble()));
}
