#pragma once
// A window's global object that makes the window the first time it is used. The program's
// dialogs are reached through such objects from everywhere; building them all at start cost
// more than the measuring window itself, and most are never opened in a session.

#include <functional>
#include <utility>

template <class T> class TWindowOnFirstUse {
public:
    // How the window is made once it is first needed; until then, and after Forget, there is
    // none and every use gives nullptr.
    void MakeWith(std::function<T*()> make) { make_ = std::move(make); }

    // The window, made now if it is not there yet.
    T* Get() const {
        if (!window_ && make_)
            window_ = make_();
        return window_;
    }
    operator T*() const { return Get(); }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }

    // The window if it has been made, without making it: for questions such as "is it shown",
    // whose answer is no when it does not exist.
    T* IfMade() const { return window_; }

    // Puts a window in place of the one this would make (nullptr: none for now).
    TWindowOnFirstUse& operator=(T* window) {
        window_ = window;
        return *this;
    }

    // No window and no way to make one.
    void Forget() {
        window_ = nullptr;
        make_ = nullptr;
    }

private:
    std::function<T*()> make_;
    mutable T* window_ = nullptr;
};
