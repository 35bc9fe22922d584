#pragma once

#include "link/NetworkEndpoint.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

// A DNS-SD browser for the Host service ("_pagewright._tcp", TXT records requested): what the
// connection needs from the platform to list Hosts and to find a joined Host again after its endpoint
// failed. Callbacks run on the connection queue, never inside start() or cancel().
class HostBrowser
{
public:
    struct Result
    {
        NetworkEndpoint endpoint;
        // TXT entries; a value that was neither text nor bytes is left out.
        QHash<QString, QByteArray> txt;
        bool operator==(const Result &) const = default;
    };

    struct Change
    {
        enum class Kind { Added, Removed, Changed, Identical };
        Kind kind = Kind::Added;
        std::optional<Result> old;
        std::optional<Result> current;
    };

    enum class State { Ready, Failed };

    virtual ~HostBrowser() = default;

    // The full current result set and what changed since the last report.
    std::function<void(const QList<Result> &results, const QList<Change> &changes)> onResults;
    std::function<void(State)> onState;

    virtual void start() = 0;
    virtual void cancel() = 0;
};

using HostBrowserFactory = std::function<std::unique_ptr<HostBrowser>()>;

} // namespace pgw
