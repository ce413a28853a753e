#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "recording/BlockQueue.h"
#include "recording/RecChannel.h"

using namespace tarvexa;
using namespace std::chrono_literals;

namespace {
std::vector<int16_t> Block(int16_t v, size_t n = 4) { return std::vector<int16_t>(n, v); }
}  // namespace

TEST(BlockQueue, KeepsOrderAcrossWrapAroundAndDropsOldestWhenFull) {
  BlockQueue q(3, 4);
  std::vector<int16_t> out(4);
  for (int16_t v = 1; v <= 3; ++v) EXPECT_EQ(q.PushOrDropOldest(Block(v).data(), 4), 0);
  EXPECT_EQ(q.Pop(out.data(), 0ms), 4);
  EXPECT_EQ(out[0], 1);
  // Wrap around: slots are reused in order.
  EXPECT_EQ(q.PushOrDropOldest(Block(4).data(), 4), 0);
  EXPECT_EQ(q.PushOrDropOldest(Block(5).data(), 4), 1);  // full: 2 is dropped
  EXPECT_EQ(q.Dropped(), 1);
  for (int16_t want : {3, 4, 5}) {
    ASSERT_EQ(q.Pop(out.data(), 0ms), 4);
    EXPECT_EQ(out[0], want);
  }
  EXPECT_EQ(q.Pop(out.data(), 0ms), -1);
}

TEST(BlockQueue, PartialLastBlockAndEndOfInput) {
  BlockQueue q(4, 8);
  std::vector<int16_t> out(8);
  q.PushOrDropOldest(Block(7, 3).data(), 3);
  q.MarkInputEnded();
  EXPECT_EQ(q.Pop(out.data(), 1000ms), 3);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(q.Pop(out.data(), 1000ms), -1);  // ended and empty: no wait
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);
}

TEST(BlockQueue, TwoThreadsWaitingPushLosesNothingAndKeepsOrder) {
  BlockQueue q(5, 16);
  constexpr int kBlocks = 20000;
  std::thread producer([&] {
    std::vector<int16_t> b(16);
    for (int i = 0; i < kBlocks; ++i) {
      std::fill(b.begin(), b.end(), static_cast<int16_t>(i & 0x7fff));
      ASSERT_TRUE(q.PushWait(b.data(), b.size(), [] { return true; }));
    }
    q.MarkInputEnded();
  });
  std::vector<int16_t> out(16);
  int expected = 0;
  int n;
  while ((n = q.Pop(out.data(), 2000ms)) >= 0) {
    ASSERT_EQ(n, 16);
    ASSERT_EQ(out[0], static_cast<int16_t>(expected & 0x7fff));
    ASSERT_EQ(out[15], out[0]);
    ++expected;
  }
  producer.join();
  EXPECT_EQ(expected, kBlocks);
  EXPECT_EQ(q.Dropped(), 0);
}

TEST(BlockQueue, RealTimeProducerNeverWaitsAndCountsEveryDrop) {
  BlockQueue q(4, 2);
  std::thread producer([&] {
    std::vector<int16_t> b(2, 1);
    for (int i = 0; i < 1000; ++i) q.PushOrDropOldest(b.data(), 2);
  });
  producer.join();  // no consumer at all: must still finish
  EXPECT_EQ(q.Size(), 4u);
  EXPECT_EQ(q.Dropped(), 996);
}

TEST(RecChannel, SendWaitsForTheReceiverAndPostDoesNot) {
  RecChannel ch;
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    ch.PostLog("first", 0);
    RecMessage m;
    m.type = RecMsg::Finished;
    ch.Send(std::move(m));
    sent = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(sent.load());
  std::vector<RecMsg> seen;
  while (seen.size() < 2) ch.Pump([&](const RecMessage& m) { seen.push_back(m.type); }, 100);
  sender.join();
  EXPECT_TRUE(sent.load());
  EXPECT_EQ(seen[0], RecMsg::Log);
  EXPECT_EQ(seen[1], RecMsg::Finished);
}

TEST(RecChannel, CloseReleasesAWaitingSender) {
  // On the heap and left behind if the sender hangs, so that a failure is
  // an assertion instead of a hang until the test's timeout.
  auto* ch = new RecChannel;
  auto* returned = new std::promise<void>;
  std::future<void> sent = returned->get_future();
  std::thread sender([ch, returned] {
    ch->Send(RecMessage{});
    returned->set_value();
  });
  EXPECT_EQ(sent.wait_for(100ms), std::future_status::timeout)
      << "Send did not wait for the receiver";
  ch->Close();
  if (sent.wait_for(5s) != std::future_status::ready) {
    sender.detach();
    FAIL() << "Close did not release the waiting sender";
  }
  sender.join();
  // Once closed, a send returns at once.
  auto t0 = std::chrono::steady_clock::now();
  ch->Send(RecMessage{});
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
  delete returned;
  delete ch;
}
