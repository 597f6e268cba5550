/// @file
/// Delegates: TFunction0 ... TFunction5.
///
/// Every callback the library accepts or stores is a delegate: a small value that binds either
/// a free function, or a member function together with the object to call it on. The family
/// has one class template per number of call arguments, TFunction<N><R, A1, ..., AN>, with the
/// result type first. A delegate can be copied, compared, tested for emptiness and invoked.
///
///     void onTick(unsigned long param);
///     Orlix::Infra::TFunction1<void, unsigned long> f(&onTick);
///     Worker w;
///     Orlix::Infra::TFunction1<void, unsigned long> g(&Worker::tick, &w);
///     f(7); g(7);
///
/// What every delegate offers (the six classes share one implementation in the Detail
/// namespace, so the reference lists these operations here rather than on each class):
///  - `TFunctionN()`: an empty delegate;
///  - `TFunctionN(&freeFunction)`: binds a free function; a null pointer gives an empty one;
///  - `TFunctionN(&Class::member, object[, tag])`: binds a member function (const or not) to
///    object, which may be of a class derived from Class; the optional tag is described below;
///  - `empty()`, `kind()` (the kind tag) and `typeName()` (the bound object's pointer type
///    name, null for empty and free-function delegates);
///  - `operator==` and `operator!=` (see Equality below), and `operator()(args...)`, which
///    invokes the binding with the arguments passed through unchanged.
///
/// Kinds. Each delegate carries a kind tag: 0 empty, 1 member binding, 2 free function,
/// 16 and above (except 0xFFFFFFFF) a member binding with a reuse tag, 0xFFFFFFFF a wildcard
/// that compares equal to every reuse-tagged binding of the same function and object.
/// Invoking a reuse-tagged binding first publishes the tag as the calling thread's
/// "function reuse" value (getCurrentFunctionReuse(), print.h), so the called member can tell
/// which registration it was called through.
///
/// Equality is what callback registries use to refuse duplicates and to find the entry to
/// detach: two reuse-tagged bindings are equal when function and object are equal and either
/// tag is the wildcard or the tags match; otherwise kinds must match, member bindings compare
/// function and object, free bindings the function, and two empty delegates are equal.
///
/// Thread-safety: a delegate is an unsynchronised value. Holders that share one across threads
/// lock around it (or invoke a private copy). The published reuse value is per thread.
///
/// Lifetime: a delegate owns nothing. A member binding must not be invoked after its object is
/// destroyed; nothing tracks that.
///
/// Failure: invoking a delegate whose kind is not 1, 2 or a reuse tag writes
/// `FUNCTION_FUNCTION::operator() invalid function type : <kind>, typeid : <type>`
/// to standard output; a wildcard (or a kind 3..15) that holds a member binding is then still
/// called, and an empty delegate returns a value-initialised result.
#ifndef ORLIX_INFRA_FUNCTION_H
#define ORLIX_INFRA_FUNCTION_H

#include "infra/defs.h"

#include <cstdio>
#include <cstring>
#include <type_traits>
#include <typeinfo>

namespace Orlix {
namespace Infra {

namespace Detail {
/// Sets the calling thread's function-reuse value (defined with the print core).
ORLIX_API void setCurrentFunctionReuse(unsigned int value);
} // namespace Detail

namespace Detail {

/// The shared record and behaviour of every TFunction<N>. Fields, in order: the code to call
/// (a free-function pointer, or the raw representation of a pointer to member function), the
/// object of a member binding, the kind tag and the bound object's type name (for the
/// diagnostic only). A member binding additionally keeps a typed trampoline that restores the
/// object's class to make the call, since a pointer to member function cannot be called
/// without it; the trampoline is fixed by the function's type and takes no part in equality.
template <class R, class... Args>
class TFunctionBase
{
public:
    enum : unsigned int
    {
        kindEmpty = 0,
        kindMember = 1,
        kindFree = 2,
        kindReuseFirst = 16,
        kindWildcard = 0xFFFFFFFFu
    };

    using FreeFunction = R (*)(Args...);

    /// An empty delegate.
    TFunctionBase() noexcept { std::memset(m_fn, 0, sizeof(m_fn)); }

    /// Binds a free function; a null pointer gives an empty delegate.
    TFunctionBase(FreeFunction f) noexcept // NOLINT(google-explicit-constructor)
    {
        std::memset(m_fn, 0, sizeof(m_fn));
        if (f != nullptr) {
            std::memcpy(m_fn, &f, sizeof(f));
            m_kind = kindFree;
        }
    }

    /// Binds member function f of object o (kind 1). A tag of 16 or more (0xFFFFFFFF for the
    /// wildcard) makes it a reuse-tagged binding instead; a tag of 0 makes an empty delegate.
    /// The object may be of a class derived from the function's class.
    template <class O, class P>
    TFunctionBase(R (O::*f)(Args...), P* o, unsigned int tag = kindMember) noexcept
    {
        bindMember(f, static_cast<O*>(o), tag, typeid(P*).name(),
                   &callMember<O, R (O::*)(Args...)>);
    }

    /// Binds const member function f of object o.
    template <class O, class P>
    TFunctionBase(R (O::*f)(Args...) const, const P* o, unsigned int tag = kindMember) noexcept
    {
        bindMember(f, static_cast<const O*>(o), tag, typeid(const P*).name(),
                   &callMember<const O, R (O::*)(Args...) const>);
    }

    /// True when bound to nothing (kind 0).
    bool empty() const noexcept { return m_kind == kindEmpty; }

    /// The kind tag: 0, 1, 2, a reuse tag (16 or more) or the wildcard 0xFFFFFFFF.
    unsigned int kind() const noexcept { return m_kind; }

    /// The bound object's pointer type name, or null for empty and free-function delegates.
    const char* typeName() const noexcept { return m_typeName; }

    /// Delegate equality, as described in function.h.
    bool operator==(const TFunctionBase& other) const noexcept
    {
        if (m_kind >= kindReuseFirst && other.m_kind >= kindReuseFirst) {
            if (m_kind == kindWildcard || other.m_kind == kindWildcard)
                return sameFunction(other) && m_obj == other.m_obj;
            return m_kind == other.m_kind && sameFunction(other) && m_obj == other.m_obj;
        }
        if (m_kind != other.m_kind)
            return false;
        if (m_kind == kindMember)
            return sameFunction(other) && m_obj == other.m_obj;
        if (m_kind == kindFree)
            return sameFunction(other);
        return true;
    }

    bool operator!=(const TFunctionBase& other) const noexcept { return !(*this == other); }

    /// Invokes the binding with the arguments, passed through unchanged.
    R operator()(Args... args) const
    {
        if (m_kind == kindMember)
            return m_invoke(m_obj, m_fn, static_cast<Args&&>(args)...);
        if (m_kind == kindFree) {
            FreeFunction f;
            std::memcpy(&f, m_fn, sizeof(f));
            return f(static_cast<Args&&>(args)...);
        }
        if (m_kind >= kindReuseFirst && m_kind != kindWildcard) {
            setCurrentFunctionReuse(m_kind);
            return m_invoke(m_obj, m_fn, static_cast<Args&&>(args)...);
        }
        std::printf("FUNCTION_FUNCTION::operator() invalid function type : %u, typeid : %s\n",
                    m_kind, m_typeName != nullptr ? m_typeName : "(null)");
        // Kind 0 is empty whatever was bound to make it (a member binding tagged 0 included).
        if (m_kind != kindEmpty && m_invoke != nullptr && m_obj != nullptr)
            return m_invoke(m_obj, m_fn, static_cast<Args&&>(args)...);
        return R();
    }

protected:
    using Trampoline = R (*)(void* obj, const unsigned char* fn, Args&&... args);

    template <class F, class O>
    void bindMember(F f, O* o, unsigned int tag, const char* typeName, Trampoline invoke) noexcept
    {
        static_assert(sizeof(F) <= sizeof(m_fn), "pointer to member function too large");
        std::memset(m_fn, 0, sizeof(m_fn));
        std::memcpy(m_fn, &f, sizeof(f));
        m_obj = const_cast<void*>(static_cast<const void*>(o));
        m_kind = tag;
        m_typeName = typeName;
        m_invoke = invoke;
    }

    /// Not inlined: the call is reached through m_invoke anyway, and when GCC does inline it
    /// next to a small object it warns about the (untaken) virtual-call path of the member
    /// pointer reading past that object.
    template <class O, class F>
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noinline))
#endif
    static R
    callMember(void* obj, const unsigned char* fn, Args&&... args)
    {
        F f;
        std::memcpy(&f, fn, sizeof(f));
        return (static_cast<O*>(obj)->*f)(static_cast<Args&&>(args)...);
    }

    bool sameFunction(const TFunctionBase& other) const noexcept
    {
        return std::memcmp(m_fn, other.m_fn, sizeof(m_fn)) == 0;
    }

    /// Large enough for a pointer to member function of a single-inheritance class.
    unsigned char m_fn[2 * sizeof(void*)];
    void* m_obj = nullptr;
    unsigned int m_kind = kindEmpty;
    const char* m_typeName = nullptr;
    Trampoline m_invoke = nullptr;
};

} // namespace Detail

/// A delegate called with no argument, returning R. Constructors and operations: see
/// function.h.
template <class R>
class TFunction0 : public Detail::TFunctionBase<R>
{
public:
    using Detail::TFunctionBase<R>::TFunctionBase;
    /// An empty delegate.
    TFunction0() noexcept = default;
};

/// A delegate called with one argument of type A1, returning R. Constructors and
/// operations: see function.h.
template <class R, class A1>
class TFunction1 : public Detail::TFunctionBase<R, A1>
{
public:
    using Detail::TFunctionBase<R, A1>::TFunctionBase;
    /// An empty delegate.
    TFunction1() noexcept = default;
};

/// A delegate called with arguments of types A1, A2, returning R. Constructors and
/// operations: see function.h.
template <class R, class A1, class A2>
class TFunction2 : public Detail::TFunctionBase<R, A1, A2>
{
public:
    using Detail::TFunctionBase<R, A1, A2>::TFunctionBase;
    /// An empty delegate.
    TFunction2() noexcept = default;
};

/// A delegate called with arguments of types A1 .. A3, returning R. Constructors and
/// operations: see function.h.
template <class R, class A1, class A2, class A3>
class TFunction3 : public Detail::TFunctionBase<R, A1, A2, A3>
{
public:
    using Detail::TFunctionBase<R, A1, A2, A3>::TFunctionBase;
    /// An empty delegate.
    TFunction3() noexcept = default;
};

/// A delegate called with arguments of types A1 .. A4, returning R. Constructors and
/// operations: see function.h.
template <class R, class A1, class A2, class A3, class A4>
class TFunction4 : public Detail::TFunctionBase<R, A1, A2, A3, A4>
{
public:
    using Detail::TFunctionBase<R, A1, A2, A3, A4>::TFunctionBase;
    /// An empty delegate.
    TFunction4() noexcept = default;
};

/// A delegate called with arguments of types A1 .. A5, returning R. Constructors and
/// operations: see function.h.
template <class R, class A1, class A2, class A3, class A4, class A5>
class TFunction5 : public Detail::TFunctionBase<R, A1, A2, A3, A4, A5>
{
public:
    using Detail::TFunctionBase<R, A1, A2, A3, A4, A5>::TFunctionBase;
    /// An empty delegate.
    TFunction5() noexcept = default;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_FUNCTION_H
