// The nestable wait cursor. Each WaitCursor shows the busy indication for its lifetime; the outer
// state comes back when the last one ends. Hide() takes it away early (before a message box).
#pragma once

namespace platform {

class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    void Hide();  // ends this one early; harmless to call twice
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    bool shown_;
};

// How many wait cursors are showing now (0 = normal cursor). For tests.
int WaitCursorDepth();

struct WaitCursorBackend {
    void (*push)(void* ctx);  // show busy
    void (*pop)(void* ctx);   // restore what was shown before the matching push
    void* ctx;
};
void SetWaitCursorBackend(const WaitCursorBackend* backend);

}  // namespace platform
