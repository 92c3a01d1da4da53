#pragma once
// A tooltip control (CToolTipCtrl). Its tools are rectangles of its owner's controls, each
// with a text and an id. The tip hears of the pointer only through the mouse messages relayed
// to it (RelayEvent), so the owner decides where it works: once the pointer has rested in a
// tool for the initial delay the tip shows, as a plain tip or (TTS_BALLOON) as a balloon whose
// stem points at the pointer; it goes when the pointer moves out of the tool or off the
// control, on a button press, or after the pop-up delay, and shows again only once the
// pointer has left that tool.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/types.h"
#include "platform/gui/wnd.h"

namespace zfw {

enum : unsigned { TTS_ALWAYSTIP = 0x01, TTS_NOPREFIX = 0x02, TTS_BALLOON = 0x40 };

class ToolTip : public Wnd {
 public:
  static constexpr uint32_t kDefaultDelayMs = 500;

  ToolTip();
  ~ToolTip() override;

  // Makes the (hidden) tip window of `owner`.
  bool create(Wnd& owner, unsigned style = 0);
  bool isBalloon() const { return (style_ & TTS_BALLOON) != 0; }
  // A tool: `rect` of the owner's control `controlId`, in the control's client coordinates.
  bool addTool(int controlId, const Rect& rect, std::string_view text, int toolId);
  // TTDT_AUTOMATIC: the tip shows after resting `ms`, and goes after ten times that.
  void setDelayTime(uint32_t ms);
  uint32_t initialDelay() const { return delayMs_; }
  // The mouse messages over the owner's control `controlId` for which `when` holds (given
  // the point and the list row under it) are relayed to the tip.
  void relayMouseMessages(int controlId, std::function<bool(const NotifyInfo&)> when);

  // The tool whose tip is on show (0 when none) and its text.
  int shownTool() const;
  std::string shownText() const;

  void onTimer(int id) override;

 private:
  struct Tool {
    int controlId;
    Rect rect;
    std::string text;
    int id;
  };
  class Relay;
  class Balloon;

  enum class Message { Move, Press, Leave };
  void relayEvent(int controlId, Message message, int x, int y);
  int toolAt(int controlId, int x, int y) const;  // index into tools_, -1 when none
  void showTip(int tool);
  void hideTip();

  Wnd* owner_ = nullptr;
  unsigned style_ = 0;
  uint32_t delayMs_ = kDefaultDelayMs;
  std::vector<Tool> tools_;
  Balloon* balloon() const;

  int pending_ = -1;    // index of the tool the pointer rests in, before the initial delay
  int shown_ = -1;      // index of the tool on show
  int spentTool_ = -1;  // popped or clicked away: not again until the pointer leaves it
  int lastX_ = 0, lastY_ = 0;
};

}  // namespace zfw
