// Message maps: each window class lists the messages it handles in a static table, declared
// with the macros below, and the window procedure looks a message up from the most derived
// class to its bases. A message that no table lists goes to the window's default processing.
//
//   class MyDialog : public CDialog { ... DECLARE_MESSAGE_MAP() };
//
//   BEGIN_MESSAGE_MAP(MyDialog, CDialog)
//     ON_WM_PAINT()
//     ON_COMMAND(ID_SOMETHING, OnSomething)
//     ON_MESSAGE(WM_APP_THING, OnThing)
//   END_MESSAGE_MAP()
#pragma once

#include <windows.h>

class CWnd;

// One handled message: WM_COMMAND entries name a command id, the others none. The thunk calls
// the handler with the message's arguments and gives its result.
struct MessageMapEntry {
  UINT message;
  UINT id;
  LRESULT (*thunk)(CWnd *window, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
  const MessageMap *(*base)();     // the base class's map, or nullptr at the root
  const MessageMapEntry *entries;  // ended by an entry whose thunk is nullptr
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                        \
 protected:                                          \
  static const MessageMap *GetThisMessageMap();      \
  const MessageMap *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(class_name, base_name)                                      \
  const MessageMap *class_name::GetMessageMap() const { return GetThisMessageMap(); } \
  const MessageMap *class_name::GetThisMessageMap() {                                 \
    using ThisClass = class_name;                                                     \
    using TheBase = base_name;                                                        \
    static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                 \
      {0, 0, nullptr}};                                                   \
    static const MessageMap map = {&TheBase::GetThisMessageMap, entries}; \
    return &map;                                                          \
  }

// The handler call of an entry, as a plain function of the window and the message arguments.
#define MESSAGE_MAP_THUNK(body)                                     \
  [](CWnd *window, WPARAM wParam, LPARAM lParam) -> LRESULT {       \
    [[maybe_unused]] auto *self = static_cast<ThisClass *>(window); \
    (void)wParam;                                                   \
    (void)lParam;                                                   \
    body                                                            \
  }

// void handler(): the menu command or button click with this id.
#define ON_COMMAND(id, handler) \
  {WM_COMMAND, static_cast<UINT>(id), MESSAGE_MAP_THUNK(self->handler(); return 0;)},

// LRESULT handler(WPARAM, LPARAM): any message.
#define ON_MESSAGE(message, handler) \
  {static_cast<UINT>(message), 0, MESSAGE_MAP_THUNK(return self->handler(wParam, lParam);)},

// void OnSysCommand(UINT id, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                               \
  {WM_SYSCOMMAND, 0,                                                                     \
   MESSAGE_MAP_THUNK(self->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},

// void OnPaint()
#define ON_WM_PAINT() \
  {WM_PAINT, 0, MESSAGE_MAP_THUNK(self->OnPaint(); return 0;)},

// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0,       \
   MESSAGE_MAP_THUNK(return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());)},

// BOOL OnDeviceChange(UINT event, DWORD_PTR data)
#define ON_WM_DEVICECHANGE()                                                   \
  {WM_DEVICECHANGE, 0,                                                         \
   MESSAGE_MAP_THUNK(return self->OnDeviceChange(static_cast<UINT>(wParam),    \
                                                 static_cast<DWORD_PTR>(lParam));)},
// clang-format on
