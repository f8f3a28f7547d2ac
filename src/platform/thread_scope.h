#pragma once

#include <utility>

// A T that is in scope on the thread that made it, for as long as it lives: whoever runs below
// it on that thread finds it, innermost first, without it being handed down. Scopes of one T
// nest and end in the reverse order they were made (objects on the stack); each thread has its
// own. The only thread-local state of the program is here.
template <class T>
class ThreadScope : public T {
public:
    ThreadScope()
        : outer_(innermostSlot())
    {
        innermostSlot() = this;
    }

    template <class First, class... Rest>
    explicit ThreadScope(First&& first, Rest&&... rest)
        : T(std::forward<First>(first), std::forward<Rest>(rest)...), outer_(innermostSlot())
    {
        innermostSlot() = this;
    }

    ~ThreadScope() { innermostSlot() = outer_; }

    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

    // The innermost scope of this thread, or null; each one's outer() leads to the one around it.
    static ThreadScope* innermost() { return innermostSlot(); }
    ThreadScope* outer() const { return outer_; }

private:
    static ThreadScope*& innermostSlot()
    {
        thread_local ThreadScope* innermost = nullptr;
        return innermost;
    }

    ThreadScope* outer_;
};
