#pragma once

#include "extraction/QXTaskTarget.h"

#include <QPointer>
#include <concepts>
#include <functional>
#include <tuple>
#include <type_traits>

namespace QXTaskArguments {

// An argument can be captured when a copy of the parameter's own type can be
// made from it. Parameters taking an rvalue are refused: the stored copies
// are handed over as lvalues, and again if the task is started a second time.
template <typename Param, typename Arg>
concept storable = !std::is_rvalue_reference_v<Param> && std::constructible_from<std::decay_t<Param>, Arg>;

template <typename ParamTuple, typename ArgTuple>
inline constexpr bool fit = false;

template <typename... Params, typename... Args>
    requires(sizeof...(Params) == sizeof...(Args))
inline constexpr bool fit<std::tuple<Params...>, std::tuple<Args...>> = (storable<Params, Args &&> && ...);

} // namespace QXTaskArguments

class QXTaskQueue;

// Turns one call into a task instead of making it: the target, the member
// function and copies of the arguments (converted to the parameter types,
// so shared pointers keep their objects alive) go to the queue, which makes
// the call later on the event loop. Obtained from QXTaskQueue::taskWithTarget:
//
//     setupTask->taskWithTarget(this)->call(&RARViewController::checkDestinationPermit, item);
//
// A member function the target's class does not have, or arguments that do
// not fit its parameters, do not compile. Whatever the call returns is dropped.
// The queue is a parameter only so that this header need not include the
// queue's, which brings this one in.
template <typename T, typename Queue = QXTaskQueue>
class QXTaskTrampoline {
public:
    QXTaskTrampoline(QXTaskTarget target, T *actual, Queue *parent)
        : m_target(std::move(target))
        , m_actual(actual)
        , m_parent(parent)
    {
    }

    // Lets the result of taskWithTarget be used like the proxy it stands for.
    QXTaskTrampoline *operator->() { return this; }

    template <typename C, typename R, typename... Params, typename... Args>
        requires std::derived_from<T, C> && QXTaskArguments::fit<std::tuple<Params...>, std::tuple<Args...>>
    void call(R (C::*member)(Params...), Args &&...args)
    {
        capture<C>(member, std::tuple<std::decay_t<Params>...>(std::forward<Args>(args)...));
    }

    template <typename C, typename R, typename... Params, typename... Args>
        requires std::derived_from<T, C> && QXTaskArguments::fit<std::tuple<Params...>, std::tuple<Args...>>
    void call(R (C::*member)(Params...) const, Args &&...args)
    {
        capture<C>(member, std::tuple<std::decay_t<Params>...>(std::forward<Args>(args)...));
    }

private:
    template <typename C, typename Member, typename Stored>
    void capture(Member member, Stored stored)
    {
        if (!m_parent)
            return;
        C *receiver = m_actual;
        m_parent->newTaskWithTarget(m_target, [receiver, member, stored = std::move(stored)]() mutable {
            std::apply([&](auto &...argument) { std::invoke(member, receiver, argument...); }, stored);
        });
    }

    QXTaskTarget m_target;
    T *m_actual;
    QPointer<Queue> m_parent;
};
