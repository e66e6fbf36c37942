#pragma once

#include "platform/engine/XADEntryInfo.h"
#include "platform/encoding/XADString.h"

#include <QCborMap>
#include <QLatin1StringView>

// The messages between the program and its engine helper. Each is a map
// whose "kind" says what it is. A request that waits for an answer is
// answered before anything else is sent its way.
//
//   program -> helper            helper -> program
//   hello {version}              hello {version, confined, note}
//   parse {path, metadata,       parsed {code, size, volumes, subject}
//          destination, password}
//   unarchive {destination,      unarchived {code, created, enclosing,
//              soloOut, password}            verified, subject}
//   stop                         password?  -> answer {password?}
//                                encoding? {name...} -> answer {encoding?}
//                                progress {entry, file, fileSize, total, totalSize}
//                                estimate {entry, file, total}
//                                entry {entry, to, code}; when code is not 0
//                                      -> answer {}, once the user has read it
class EngineProtocol {
public:
    // Raised whenever a message changes meaning; both ends must agree.
    static constexpr int version = 1;

    static constexpr QLatin1StringView kind{"kind"};
    static constexpr QLatin1StringView hello{"hello"};
    static constexpr QLatin1StringView parse{"parse"};
    static constexpr QLatin1StringView parsed{"parsed"};
    static constexpr QLatin1StringView unarchive{"unarchive"};
    static constexpr QLatin1StringView unarchived{"unarchived"};
    static constexpr QLatin1StringView stop{"stop"};
    static constexpr QLatin1StringView passwordRequest{"password?"};
    static constexpr QLatin1StringView encodingRequest{"encoding?"};
    static constexpr QLatin1StringView answer{"answer"};
    static constexpr QLatin1StringView progress{"progress"};
    static constexpr QLatin1StringView estimate{"estimate"};
    static constexpr QLatin1StringView entry{"entry"};

    static QCborMap message(QLatin1StringView kind);
    static bool is(const QCborMap &message, QLatin1StringView kind);

    static QCborMap fromEntry(const XADEntryInfo &entry);
    static XADEntryInfo toEntry(const QCborValue &value);
    static QCborMap fromName(const XADString &name);
    static XADString toName(const QCborMap &message);
};
