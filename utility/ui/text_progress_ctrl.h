#pragma once
// The signal bar: a progress bar filled with a gradient from red at the left end to green at
// the right end of the whole bar (so a short bar stays red), with the percentage centred in
// white over the filled part and in the button text's colour over the empty part. A bar
// whose range is empty (high == low) is drawn empty with no text.
#include <QProgressBar>

#include <cstdint>
#include <optional>
#include <string>

struct TextProgressLook {
  int fillWidth = 0;
  std::optional<std::string> text;  // "%3.0f %%"
};
TextProgressLook TextProgressLookOf(int pos, int low, int high, int width);
// The gradient's colour (0xRRGGBB) at x of a bar `width` pixels wide.
uint32_t TextProgressColourAt(int x, int width);

class CTextProgressCtrl : public QProgressBar {
public:
  using QProgressBar::QProgressBar;

protected:
  void paintEvent(QPaintEvent* event) override;
};
