#include "hosts/adapterctl/notifier.h"

#include <gtest/gtest.h>

#include "hosts/adapterctl/testing/notification_sink.h"

namespace zelcon {
namespace {

using std::chrono::milliseconds;

TEST(Notifier, DeliversInDueOrderToTheLatestWindowWithCopiedTexts) {
  NotificationSink sink;
  Notifier notifier;
  notifier.SetPoster(NotificationSink::Post);
  notifier.Post(1, 0, {}, milliseconds(0));  // no window yet: dropped
  ASSERT_TRUE(sink.WaitForNothing(milliseconds(50)));

  notifier.SetTarget(sink.Window());
  notifier.Post(5, 0);
  notifier.Post(9, 7);
  {
    std::string text = "Authenticating...";
    notifier.Post(1012, 0, text, milliseconds(60));
    text.assign("overwritten");
  }
  std::vector<NotificationSink::Note> got = sink.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].code, 5u);
  EXPECT_EQ(got[1].code, 9u);
  EXPECT_EQ(got[1].param, 7);
  EXPECT_EQ(got[2].code, 1012u);
  EXPECT_EQ(got[2].text, "Authenticating...");
  EXPECT_FALSE(got[0].hadText);
}

TEST(Notifier, DropPendingForgetsWhatIsNotDeliveredYet) {
  NotificationSink sink;
  Notifier notifier;
  notifier.SetPoster(NotificationSink::Post);
  notifier.SetTarget(sink.Window());
  notifier.Post(1, 0, {}, milliseconds(2000));
  notifier.DropPending();
  notifier.Post(2);
  std::vector<NotificationSink::Note> got = sink.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].code, 2u);
  EXPECT_TRUE(sink.WaitForNothing(milliseconds(300)));
}

}  // namespace
}  // namespace zelcon
