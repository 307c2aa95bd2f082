// A change listener window for the client commands: a hidden top-level window
// on the creating thread, registered with the library, that describes every
// change message it receives in one line.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/unique_resource.h"

namespace vtls::tool {

class ChangeListener {
public:
    // Gets each line on the listener's thread, while the message is handled.
    using Sink = std::function<void(const std::string& line)>;

    // Null, with the reason in error, when the window cannot be made or the
    // library refuses it (as it does in the server role).
    [[nodiscard]] static std::unique_ptr<ChangeListener> Create(Sink sink, std::string& error);

    ChangeListener(const ChangeListener&) = delete;
    ChangeListener& operator=(const ChangeListener&) = delete;
    // Revokes the registration, then destroys the window.
    ~ChangeListener();

    [[nodiscard]] HWND Window() const noexcept { return window_.get(); }
    // Change messages handled so far, both kinds.
    [[nodiscard]] unsigned Received() const noexcept { return received_; }

private:
    explicit ChangeListener(Sink sink) : sink_(std::move(sink)) {}
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void Handle(UINT message, LPARAM lParam) noexcept;

    static void Destroy(HWND window) noexcept { ::DestroyWindow(window); }

    Sink sink_;
    unsigned received_ = 0;
    bool registered_ = false;
    UniqueResource<HWND, Destroy> window_;
};

}  // namespace vtls::tool
