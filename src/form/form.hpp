// The form runtime: a window described as data, its controls and their events, as the handlers
// see them. One backend per toolkit (qt/ now) builds real widgets from the description and keeps
// the event rules below, whatever the toolkit does by itself:
//  - a content write by the program raises ContentChanged exactly once, also for equal text;
//  - writing selected, ticked, disabled, shown, caption or interval raises nothing;
//  - a radio's Clicked comes after its partner in the same frame was cleared, also when it was
//    already selected; a check box's after its state flipped;
//  - timers tick on the window thread; interval 0 stops one, the same interval again changes
//    nothing.
// Texts are byte strings in the program's code page; the backend converts at its edge.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/rows.hpp"

namespace quorvel::form {

class Channel;

using ControlId = int;
inline constexpr ControlId kWindowId = -1;  // the main window itself, as parent and for Created

enum class Kind : std::uint8_t {
  Edit,       // one-line edit box
  MultiEdit,  // multi-line edit box: content uses CR LF between lines
  Button,
  CheckBox,
  Radio,  // grouped with the other radio of the same parent frame
  Label,
  HintLabel,  // draws only its grey text over what lies below; receives left presses
  Frame,      // a one-pixel black rectangle; parent of a radio pair
  ListView,   // report view with one column of rows (see RowBatch)
  Timer,
};

enum class Event : std::uint8_t {
  Created,         // window: once, after every control exists, before user input
  Clicked,         // button, check box, radio
  ContentChanged,  // edit boxes
  LeftButtonDown,  // hint label
  DoubleClick,     // list view: on a row or on empty space
  RightClick,      // list view: on a row or on empty space
  Chosen,          // menu item: after the popup closed and its handler returned
  Tick,            // timer
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

struct ControlSpec {
  ControlId id;
  Kind kind;
  ControlId parent;  // kWindowId or a Frame; the rectangle is relative to the parent
  Rect rect;
  std::string_view caption;  // caption or initial content; a list view's column title
  bool on = false;           // designed selected / ticked state
  bool disabled = false;
  bool tabStop = false;
  int columnWidth = 0;  // list view only
};

struct MenuSpec {
  ControlId menu;  // hidden top-level item, only popped up
  std::string_view caption;
  ControlId item;  // its one sub-item
  std::string_view itemCaption;
};

struct WindowSpec {
  std::string_view caption;
  int outerWidth = 0, outerHeight = 0;  // title bar and border included
  int minClientWidth = 0, minClientHeight = 0;
  std::span<const ControlSpec> controls;  // z-order, topmost first
  std::span<const ControlId> tabOrder;
  MenuSpec menu;
  std::string_view iconResource;  // a Qt resource path of the window icon
};

struct Point {
  int x = 0, y = 0;
};

// The main window as the handlers use it. All calls on the window thread.
class Window {
 public:
  virtual ~Window() = default;

  virtual void on(ControlId id, Event event, std::function<void()> handler) = 0;
  // Raises Created, then shows the window centred on the screen.
  virtual void open() = 0;
  virtual void close() = 0;

  virtual std::string content(ControlId id) const = 0;
  virtual void setContent(ControlId id, std::string_view text) = 0;
  virtual std::string caption(ControlId id) const = 0;
  virtual void setCaption(ControlId id, std::string_view text) = 0;
  virtual bool selected(ControlId id) const = 0;  // radios; ticked() for the check box
  virtual void setSelected(ControlId id, bool on) = 0;
  virtual bool ticked(ControlId id) const = 0;
  virtual void setTicked(ControlId id, bool on) = 0;
  virtual bool disabled(ControlId id) const = 0;
  virtual void setDisabled(ControlId id, bool disabled) = 0;
  virtual bool shown(ControlId id) const = 0;
  virtual void setShown(ControlId id, bool shown) = 0;
  virtual int interval(ControlId id) const = 0;
  virtual void setInterval(ControlId id, int milliseconds) = 0;

  // The result list. Rows are the exact bytes of their text plus a tag for the program's use.
  virtual void listAppend(ControlId id, RowBatch&& rows) = 0;
  virtual void listDeleteAll(ControlId id) = 0;
  virtual int listCount(ControlId id) const = 0;
  virtual std::string listText(ControlId id, int row) const = 0;  // empty for -1 or out of range
  virtual std::uint32_t listTag(ControlId id, int row) const = 0;
  virtual bool listSelected(ControlId id, int row) const = 0;
  virtual int listFirstSelected(ControlId id) const = 0;              // -1 when none
  virtual std::vector<int> listSelectedRows(ControlId id) const = 0;  // ascending
  virtual const RowStore& listRows(ControlId id) const = 0;

  // Pops the menu up at a screen position and returns when it closed; a chosen item raises its
  // Chosen event after that.
  virtual void popupMenu(ControlId menu, Point screen) = 0;
  virtual Point cursorPosition() const = 0;

  // Operations posted by workers, applied here on the window thread.
  virtual Channel& channel() = 0;
};

enum class Answer { Ok, Cancel };

// Dialogs and the desktop: the one seam tests answer. The program uses the toolkit's dialogs.
class Shell {
 public:
  virtual ~Shell() = default;
  // A message box with an OK button only, no icon, modal for the whole program.
  virtual void message(std::string_view text, std::string_view title) = 0;
  // OK (the default) and Cancel; Esc and the close box answer Cancel.
  virtual Answer confirm(std::string_view text, std::string_view title) = 0;
  // A folder dialog with an editable path field; nullopt when cancelled.
  virtual std::optional<std::string> chooseFolder(std::string_view title) = 0;
  // Opens a file or folder with the desktop's default application.
  virtual void open(std::string_view path) = 0;
};

}  // namespace quorvel::form
