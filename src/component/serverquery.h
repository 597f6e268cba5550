// Matching many clients against one class id and server (internal).
//
// The client list compares every listed client with the server a lookup names. A query
// measures the class prefix and the identifying texts once, so that each client costs a few
// length checks and only the texts of equal length are compared byte by byte.
#ifndef ORLIX_SRC_COMPONENT_SERVERQUERY_H
#define ORLIX_SRC_COMPONENT_SERVERQUERY_H

#include "infra/client.h"

#include <string_view>

namespace Orlix {
namespace Component {
namespace Detail {

struct ServerQuery
{
    ServerQuery(const ClassID& classId, const ServerInfo& info);

    std::string_view classPrefix; // classId up to its first '.'
    std::string_view text1, userName, text2, text3, text4, text5, text9, text10, text8, text6;
    const ServerInfo& info; // the numbers and flags
};

// clientIsSameAs(client, classId, info) for the query's class id and server.
bool clientMatches(IClient* client, const ServerQuery& query);

} // namespace Detail
} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_SERVERQUERY_H
