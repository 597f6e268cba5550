// Matching many clients against one class id and server (internal).
//
// The client list compares every listed client with the server a lookup names. A query
// measures the class prefix and hashes the server's address once, so that a client of another
// server costs one word compare and only a client of the same address is compared text by
// text.
#ifndef ORLIX_SRC_COMPONENT_SERVERQUERY_H
#define ORLIX_SRC_COMPONENT_SERVERQUERY_H

#include "infra/client.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Orlix {
namespace Component {
namespace Detail {

struct ServerQuery
{
    ServerQuery(const ClassID& classId, const ServerInfo& info);

    std::string_view classPrefix; // classId up to its first '.'
    std::string_view text1;       // the address, measured for serverKey
    const ServerInfo& info;       // the other texts, the numbers and the flags
    std::size_t serverKey;        // serverKeyOf(text1, number1)
};

// A hash of a server's address text and number. Every client keeps the one of its own
// (they never change after creation), so the list walk rejects a client of another server
// with one word compare instead of two text compares.
std::size_t serverKeyOf(std::string_view text1, std::int32_t number1);

// clientIsSameAs(client, classId, info) for the query's class id and server.
bool clientMatches(IClient* client, const ServerQuery& query);

} // namespace Detail
} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_SERVERQUERY_H
