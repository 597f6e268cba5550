/// @file
/// Compact heap storage for flex_string_shell, meant for records that hold many strings that
/// are mostly empty.
///
/// The object is exactly one pointer. The empty string is the null pointer, so a
/// default-constructed or cleared-and-shrunk string owns no memory and costs eight bytes.
/// A non-empty string points at one heap block laid out as
///
///     [ uint32 size ][ uint32 capacity ][ E chars[capacity + 1] ]
///
/// with the characters NUL-terminated. The 32-bit header halves the per-block overhead of
/// allocatorstringstorage and limits a string to just under 4 GiB characters; longer requests
/// throw std::length_error. Reads of an empty string branch on the null pointer and see a
/// shared static terminator.
///
/// The allocator must be empty (stateless) and always-equal so that it adds no size.
#ifndef ORLIX_INFRA_INFRA3_DETAIL_MINISTRINGSTORAGE_H
#define ORLIX_INFRA_INFRA3_DETAIL_MINISTRINGSTORAGE_H

#include "infra/infra3/detail/allocatorstringstorage.h"

#include <cstdint>
#include <memory>
#include <type_traits>

namespace Orlix {
namespace Infra {

/// The compact heap Storage policy for flex_string_shell: one pointer, null while the string
/// is empty (see ministringstorage.h). Its operations are described in
/// allocatorstringstorage.h.
template <typename E, typename A = std::allocator<E>>
class ministringstorage : public Detail::CHeapStringStorageInternal<E, A, std::uint32_t, true>
{
    using Base = Detail::CHeapStringStorageInternal<E, A, std::uint32_t, true>;

public:
    using Base::Base;

    static_assert(std::is_empty<A>::value, "ministringstorage needs a stateless allocator");
};

static_assert(sizeof(ministringstorage<char>) == sizeof(void*),
              "ministringstorage must stay one pointer wide");

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_INFRA3_DETAIL_MINISTRINGSTORAGE_H
