/// @file
/// Delegates: TFunction0 ... TFunction5.
///
/// Every callback the library accepts or stores is a delegate: a small value that binds a
/// free function, a member function together with the object to call it on, or any other
/// callable object (a lambda with captures, a function object). The family has one class
/// template per number of call arguments, TFunction<N><R, A1, ..., AN>, with the result type
/// first. A delegate can be copied, compared, tested for emptiness and invoked.
///
///     void onTick(unsigned long param);
///     Orlix::Infra::TFunction1<void, unsigned long> f(&onTick);
///     Worker w;
///     Orlix::Infra::TFunction1<void, unsigned long> g(&Worker::tick, &w);
///     int ticks = 0;
///     Orlix::Infra::TFunction1<void, unsigned long> h([&ticks](unsigned long) { ++ticks; });
///     f(7); g(7); h(7);
///
/// A callable converts to a delegate implicitly, so every place of the interface that takes a
/// delegate (thread bodies, timer procedures, print sinks, packet deleters, time hooks, client
/// status procedures) takes a lambda as well.
///
/// What every delegate offers (the six classes share one implementation in the Detail
/// namespace, so the reference lists these operations here rather than on each class):
///  - `TFunctionN()`: an empty delegate;
///  - `TFunctionN(&freeFunction)`: binds a free function; a null pointer gives an empty one;
///  - `TFunctionN(&Class::member, object[, tag])`: binds a member function (const or not) to
///    object, which may be of a class derived from Class; the optional tag is described below;
///  - `TFunctionN(callable)`: binds a copy of any copyable object that can be called with the
///    arguments and whose result converts to R (a lambda without captures binds the function
///    it converts to, exactly as `&freeFunction` would);
///  - `empty()`, `kind()` (the kind tag) and `typeName()` (the bound object's pointer type
///    name, or the callable's type name; null for empty and free-function delegates);
///  - `operator==` and `operator!=` (see Equality below), and `operator()(args...)`, which
///    invokes the binding with the arguments passed through unchanged.
///
/// Kinds. Each delegate carries a kind tag: 0 empty, 1 member binding, 2 free function,
/// 3 callable, 16 and above (except 0xFFFFFFFF) a member binding with a reuse tag,
/// 0xFFFFFFFF a wildcard that compares equal to every reuse-tagged binding of the same
/// function and object. A tag only ever marks reuse: a member binding given a tag below 16
/// is a plain member binding (kind 1), never a free function or an empty delegate.
/// Invoking a reuse-tagged binding first publishes the tag as the calling thread's
/// "function reuse" value (getCurrentFunctionReuse(), print.h), so the called member can tell
/// which registration it was called through.
///
/// Equality is what callback registries use to refuse duplicates and to find the entry to
/// detach: two reuse-tagged bindings are equal when function and object are equal and either
/// tag is the wildcard or the tags match; otherwise kinds must match, member bindings compare
/// function and object, free bindings the function, a callable binding equals only itself
/// and its copies (callables have no equality of their own), and two empty delegates are
/// equal. So a lambda given to a registry is detached with a copy of the delegate that was
/// attached, not with the same lambda converted again.
///
/// Storage and cost. A function or member binding is a plain record, copied field by field.
/// A callable of up to three pointers' size whose move cannot throw (a lambda capturing up to
/// three references or pointers, say) is stored inside the delegate, without a heap
/// allocation; a larger one is kept in a heap copy owned by the delegate. Copying a delegate
/// copies its callable; a delegate moved from is empty when it held a callable.
///
/// Thread-safety: a delegate is an unsynchronised value. Holders that share one across threads
/// lock around it (or invoke a private copy). The published reuse value is per thread.
///
/// Lifetime: a delegate owns its callable but no bound object. A member binding must not be
/// invoked after its object is destroyed, nor a lambda after what it captured by reference is
/// gone; nothing tracks that.
///
/// Failure: invoking a delegate whose kind is not 1, 2, 3 or a reuse tag writes
/// `FUNCTION_FUNCTION::operator() invalid function type : <kind>, typeid : <type>`
/// to standard output; a wildcard that holds a member binding is then still called, and an
/// empty delegate returns a value-initialised result. Copying a heap-kept callable may fail
/// with the allocation failure of the standard library.
#ifndef ORLIX_INFRA_FUNCTION_H
#define ORLIX_INFRA_FUNCTION_H

#include "infra/defs.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Orlix {
namespace Infra {

namespace Detail {
/// Sets the calling thread's function-reuse value (defined with the print core).
ORLIX_API void setCurrentFunctionReuse(unsigned int value);

/// A number not returned before in this process (never 0): the identity that a callable
/// binding shares with its copies and with nothing else. Safe from any thread.
ORLIX_API unsigned long long nextCallableIdentity() noexcept;
} // namespace Detail

namespace Detail {

/// The shared record and behaviour of every TFunction<N>. Fields, in order: the binding (the
/// code to call and the object of a member binding, or the callable's own storage), the kind
/// tag, the type name (for the diagnostic only), a typed trampoline that makes the call, the
/// callable's copy and release operation (null for function and member bindings, which are
/// plain data) and a callable binding's identity. The trampoline is fixed by the bound
/// function's or callable's type and takes no part in equality.
template <class R, class... Args>
class TFunctionBase
{
public:
    enum : unsigned int
    {
        kindEmpty = 0,
        kindMember = 1,
        kindFree = 2,
        kindCallable = 3,
        kindReuseFirst = 16,
        kindWildcard = 0xFFFFFFFFu
    };

    using FreeFunction = R (*)(Args...);

private:
    /// A function or member binding: the code to call and the object of a member binding.
    struct Binding
    {
        unsigned char fn[2 * sizeof(void*)];
        void* obj;
    };

    /// The binding, or a callable stored in place, or the address of a heap-kept callable.
    union Storage
    {
        Binding binding;
        void* heap;
        unsigned char buffer[sizeof(Binding)];
    };

    /// True for a callable type kept inside the delegate rather than on the heap.
    template <class D>
    static constexpr bool storedInPlace =
        sizeof(D) <= sizeof(Storage) &&
        alignof(D) <= alignof(Storage) && std::is_nothrow_move_constructible<D>::value;

    /// True for a type that the callable constructor accepts: a copyable object type other
    /// than a pointer or a delegate, callable with Args, whose result converts to R.
    template <class D>
    static constexpr bool acceptedCallable =
        !std::is_base_of<TFunctionBase, D>::value && !std::is_pointer<D>::value &&
        !std::is_member_pointer<D>::value && !std::is_same<D, std::nullptr_t>::value &&
        std::is_copy_constructible<D>::value && std::is_invocable_r<R, D&, Args...>::value;

public:
    /// An empty delegate.
    TFunctionBase() noexcept { std::memset(&m_store, 0, sizeof(m_store)); }

    /// Binds a free function; a null pointer gives an empty delegate.
    TFunctionBase(FreeFunction f) noexcept // NOLINT(google-explicit-constructor)
    {
        bindFree(f);
    }

    /// Binds member function f of object o (kind 1). A tag of 16 or more (0xFFFFFFFF for the
    /// wildcard) makes it a reuse-tagged binding; any tag below 16 leaves a plain member
    /// binding. The object may be of a class derived from the function's class.
    template <class O, class P>
    TFunctionBase(R (O::*f)(Args...), P* o, unsigned int tag = kindMember) noexcept
    {
        bindMember(f, static_cast<O*>(o), tag, typeid(P*).name(),
                   &callMember<O, R (O::*)(Args...)>);
    }

    /// Binds const member function f of object o; the tag as for the other member binding.
    template <class O, class P>
    TFunctionBase(R (O::*f)(Args...) const, const P* o, unsigned int tag = kindMember) noexcept
    {
        bindMember(f, static_cast<const O*>(o), tag, typeid(const P*).name(),
                   &callMember<const O, R (O::*)(Args...) const>);
    }

    /// Binds a copy of callable f (kind 3), kept in place when it is small and its move cannot
    /// throw, on the heap otherwise; a class without state that converts to FreeFunction (a
    /// lambda without captures) binds that function instead (kind 2). Converts implicitly, so
    /// a lambda may be passed wherever a delegate is expected.
    template <class F, class D = std::decay_t<F>, std::enable_if_t<acceptedCallable<D>, int> = 0>
    TFunctionBase(F&& f) // NOLINT(google-explicit-constructor)
    {
        if constexpr (std::is_empty<D>::value && std::is_convertible<D, FreeFunction>::value) {
            bindFree(static_cast<FreeFunction>(f));
        } else {
            if constexpr (storedInPlace<D>) {
                ::new (static_cast<void*>(m_store.buffer)) D(std::forward<F>(f));
                m_invoke = &callInPlace<D>;
                m_manage = &manageInPlace<D>;
            } else {
                m_store.heap = new D(std::forward<F>(f));
                m_invoke = &callOnHeap<D>;
                m_manage = &manageOnHeap<D>;
            }
            m_kind = kindCallable;
            m_typeName = typeid(D).name();
            m_identity = nextCallableIdentity();
        }
    }

    /// A copy: the same binding; a callable is copied, and the copy equals the original.
    TFunctionBase(const TFunctionBase& other)
        : m_kind(other.m_kind), m_typeName(other.m_typeName), m_invoke(other.m_invoke),
          m_manage(other.m_manage), m_identity(other.m_identity)
    {
        if (m_manage != nullptr)
            m_manage(copyFrom, m_store, &other.m_store);
        else
            m_store = other.m_store;
    }

    /// Takes other's binding; other is left empty when it held a callable, unchanged
    /// otherwise.
    TFunctionBase(TFunctionBase&& other) noexcept { takeFrom(other); }

    /// Copy assignment; assignment to itself changes nothing. When copying the callable
    /// fails, this delegate is left as it was.
    TFunctionBase& operator=(const TFunctionBase& other)
    {
        if (this != &other) {
            TFunctionBase copy(other);
            release();
            takeFrom(copy);
        }
        return *this;
    }

    /// Move assignment; other as after the move constructor.
    TFunctionBase& operator=(TFunctionBase&& other) noexcept
    {
        if (this != &other) {
            TFunctionBase taken(std::move(other));
            release();
            takeFrom(taken);
        }
        return *this;
    }

    /// Releases a callable the delegate holds.
    ~TFunctionBase() { release(); }

    /// True when bound to nothing (kind 0).
    bool empty() const noexcept { return m_kind == kindEmpty; }

    /// The kind tag: 0, 1, 2, 3, a reuse tag (16 or more) or the wildcard 0xFFFFFFFF.
    unsigned int kind() const noexcept { return m_kind; }

    /// The bound object's pointer type name or the callable's type name; null for empty and
    /// free-function delegates.
    const char* typeName() const noexcept { return m_typeName; }

    /// Delegate equality, as described in function.h.
    bool operator==(const TFunctionBase& other) const noexcept
    {
        if (m_kind >= kindReuseFirst && other.m_kind >= kindReuseFirst) {
            if (m_kind == kindWildcard || other.m_kind == kindWildcard)
                return sameMember(other);
            return m_kind == other.m_kind && sameMember(other);
        }
        if (m_kind != other.m_kind)
            return false;
        if (m_kind == kindMember)
            return sameMember(other);
        if (m_kind == kindFree)
            return sameFunction(other);
        if (m_kind == kindCallable)
            return m_identity == other.m_identity;
        return true;
    }

    /// Negated equality.
    bool operator!=(const TFunctionBase& other) const noexcept { return !(*this == other); }

    /// Invokes the binding with the arguments, passed through unchanged. A callable is called
    /// as a modifiable object, so a mutable lambda keeps its state from call to call.
    R operator()(Args... args) const
    {
        if (m_kind == kindMember || m_kind == kindCallable)
            return m_invoke(m_store, static_cast<Args&&>(args)...);
        if (m_kind == kindFree) {
            FreeFunction f;
            std::memcpy(&f, m_store.binding.fn, sizeof(f));
            return f(static_cast<Args&&>(args)...);
        }
        if (m_kind >= kindReuseFirst && m_kind != kindWildcard) {
            setCurrentFunctionReuse(m_kind);
            return m_invoke(m_store, static_cast<Args&&>(args)...);
        }
        std::printf("FUNCTION_FUNCTION::operator() invalid function type : %u, typeid : %s\n",
                    m_kind, m_typeName != nullptr ? m_typeName : "(null)");
        // Only the wildcard gets here holding something: a member binding, still called.
        if (m_kind != kindEmpty && m_invoke != nullptr && m_store.binding.obj != nullptr)
            return m_invoke(m_store, static_cast<Args&&>(args)...);
        return R();
    }

private:
    enum ManageOp
    {
        copyFrom,
        moveFrom,
        destroy
    };

    using Trampoline = R (*)(Storage& store, Args&&... args);
    using Manager = void (*)(ManageOp op, Storage& self, Storage* other);

    void bindFree(FreeFunction f) noexcept
    {
        std::memset(&m_store, 0, sizeof(m_store));
        if (f != nullptr) {
            std::memcpy(m_store.binding.fn, &f, sizeof(f));
            m_kind = kindFree;
        }
    }

    template <class F, class O>
    void bindMember(F f, O* o, unsigned int tag, const char* typeName, Trampoline invoke) noexcept
    {
        static_assert(sizeof(F) <= sizeof(Binding::fn), "pointer to member function too large");
        std::memset(&m_store, 0, sizeof(m_store));
        std::memcpy(m_store.binding.fn, &f, sizeof(f));
        m_store.binding.obj = const_cast<void*>(static_cast<const void*>(o));
        m_kind = tag >= kindReuseFirst ? tag : static_cast<unsigned int>(kindMember);
        m_typeName = typeName;
        m_invoke = invoke;
    }

    /// Moves other's record here (this holds nothing); a callable leaves other empty.
    void takeFrom(TFunctionBase& other) noexcept
    {
        m_kind = other.m_kind;
        m_typeName = other.m_typeName;
        m_invoke = other.m_invoke;
        m_manage = other.m_manage;
        m_identity = other.m_identity;
        if (m_manage == nullptr) {
            m_store = other.m_store;
            return;
        }
        m_manage(moveFrom, m_store, &other.m_store);
        other.m_manage = nullptr;
        other.clear();
    }

    /// Releases a held callable; the delegate is empty afterwards.
    void release() noexcept
    {
        if (m_manage != nullptr) {
            m_manage(destroy, m_store, nullptr);
            m_manage = nullptr;
        }
        clear();
    }

    void clear() noexcept
    {
        std::memset(&m_store, 0, sizeof(m_store));
        m_kind = kindEmpty;
        m_typeName = nullptr;
        m_invoke = nullptr;
        m_identity = 0;
    }

    /// Not inlined: the call is reached through m_invoke anyway, and when GCC does inline it
    /// next to a small object it warns about the (untaken) virtual-call path of the member
    /// pointer reading past that object.
    template <class O, class F>
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noinline))
#endif
    static R
    callMember(Storage& store, Args&&... args)
    {
        F f;
        std::memcpy(&f, store.binding.fn, sizeof(f));
        return (static_cast<O*>(store.binding.obj)->*f)(static_cast<Args&&>(args)...);
    }

    template <class D>
    static D* inPlace(Storage& store) noexcept
    {
        return std::launder(reinterpret_cast<D*>(store.buffer));
    }

    template <class D>
    static R callInPlace(Storage& store, Args&&... args)
    {
        return static_cast<R>((*inPlace<D>(store))(static_cast<Args&&>(args)...));
    }

    template <class D>
    static R callOnHeap(Storage& store, Args&&... args)
    {
        return static_cast<R>((*static_cast<D*>(store.heap))(static_cast<Args&&>(args)...));
    }

    template <class D>
    static void manageInPlace(ManageOp op, Storage& self, Storage* other)
    {
        if (op == copyFrom) {
            ::new (static_cast<void*>(self.buffer)) D(*inPlace<D>(*other));
        } else if (op == moveFrom) {
            ::new (static_cast<void*>(self.buffer)) D(std::move(*inPlace<D>(*other)));
            inPlace<D>(*other)->~D();
        } else {
            inPlace<D>(self)->~D();
        }
    }

    template <class D>
    static void manageOnHeap(ManageOp op, Storage& self, Storage* other)
    {
        if (op == copyFrom) {
            self.heap = new D(*static_cast<const D*>(other->heap));
        } else if (op == moveFrom) {
            self.heap = other->heap;
            other->heap = nullptr;
        } else {
            delete static_cast<D*>(self.heap);
        }
    }

    bool sameFunction(const TFunctionBase& other) const noexcept
    {
        return std::memcmp(m_store.binding.fn, other.m_store.binding.fn,
                           sizeof(m_store.binding.fn)) == 0;
    }

    bool sameMember(const TFunctionBase& other) const noexcept
    {
        return sameFunction(other) && m_store.binding.obj == other.m_store.binding.obj;
    }

    /// Mutable: a callable is invoked as a modifiable object even through a const delegate.
    mutable Storage m_store;
    unsigned int m_kind = kindEmpty;
    const char* m_typeName = nullptr;
    Trampoline m_invoke = nullptr;
    Manager m_manage = nullptr;
    unsigned long long m_identity = 0;
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
