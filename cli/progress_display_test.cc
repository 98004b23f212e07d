#include "cli/progress_display.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

void Feed(MesherProgressParser* parser, const std::string& text) {
  parser->Feed(text.data(), text.size());
}

TEST(MesherProgressParserTest, FollowsTheCountAcrossPiecesAndDomains) {
  MesherProgressParser parser;
  EXPECT_EQ(parser.elements(), 0);
  Feed(&parser, "Meshing domain 1 / 2\n");
  EXPECT_EQ(parser.elements(), 0);
  // A line split between two reads counts once it is whole.
  Feed(&parser, " faces = 120 trials = 130 elem");
  EXPECT_EQ(parser.elements(), 0);
  Feed(&parser, "ents = 118 els/sec = 5000\n");
  EXPECT_EQ(parser.elements(), 118);
  Feed(&parser, " faces = 12000 trials = 13000 elements = 11800 els/sec = 5000\r");
  EXPECT_EQ(parser.elements(), 11800);
  // The next domain counts from zero again: the first one's elements stay.
  Feed(&parser, "Meshing domain 2 / 2\n faces = 10 trials = 10 elements = 9 els/sec = 1\n");
  EXPECT_EQ(parser.elements(), 11809);
  // Anything else, or a field without a number, changes nothing.
  Feed(&parser, "Surface meshing done\nelements = \nelements = -4\n");
  EXPECT_EQ(parser.elements(), 11809);
}

TEST(MesherProgressParserTest, AnEndlessLineIsNotKept) {
  MesherProgressParser parser;
  const std::string noise(1 << 20, 'x');
  Feed(&parser, noise);
  Feed(&parser, " elements = 5\n");
  EXPECT_EQ(parser.elements(), 0);
  Feed(&parser, " elements = 7\n");
  EXPECT_EQ(parser.elements(), 7);
}

struct FakeTerminal {
  ProgressDisplay::Clock::time_point now{};
  std::vector<std::string> writes;
};

TEST(ProgressDisplayTest, RedrawsInPlaceAtMostOncePerIntervalAndErasesAtTheEnd) {
  using std::chrono::milliseconds;
  FakeTerminal terminal;
  ProgressDisplay display(
      "big.json", [&](const std::string& text) { terminal.writes.push_back(text); },
      [&] { return terminal.now; }, milliseconds(250));
  const std::string line = " faces = 50 trials = 60 elements = 12345 els/sec = 100\n";

  // Nothing before a whole interval has passed: a quick mesh leaves no trace.
  display.OnWorkerOutput(line.data(), line.size());
  terminal.now += milliseconds(200);
  display.Tick();
  EXPECT_TRUE(terminal.writes.empty());

  terminal.now += milliseconds(100);
  display.Tick();
  ASSERT_EQ(terminal.writes.size(), 1u);
  EXPECT_EQ(terminal.writes[0], "\rmeshctl: big.json: 0.3 s, 12,345 elements so far\033[K");

  // However much the mesher says, no more than one drawing per interval.
  for (int i = 0; i < 20; ++i) {
    terminal.now += milliseconds(10);
    display.OnWorkerOutput(line.data(), line.size());
  }
  EXPECT_EQ(terminal.writes.size(), 1u);
  terminal.now += milliseconds(50);
  display.Tick();
  ASSERT_EQ(terminal.writes.size(), 2u);
  EXPECT_EQ(terminal.writes[1], "\rmeshctl: big.json: 0.6 s, 12,345 elements so far\033[K");

  // The time runs on while the mesher is silent.
  terminal.now += milliseconds(10000);
  display.Tick();
  EXPECT_EQ(terminal.writes.back(), "\rmeshctl: big.json: 10.6 s, 12,345 elements so far\033[K");

  display.Finish();
  EXPECT_EQ(terminal.writes.back(), "\r\033[K");
  const size_t after_finish = terminal.writes.size();
  terminal.now += milliseconds(10000);
  display.Tick();
  display.OnWorkerOutput(line.data(), line.size());
  display.Finish();
  EXPECT_EQ(terminal.writes.size(), after_finish);
}

TEST(ProgressDisplayTest, NothingToEraseWhenNothingWasDrawn) {
  std::vector<std::string> writes;
  ProgressDisplay display("a", [&](const std::string& text) { writes.push_back(text); });
  display.Finish();
  EXPECT_TRUE(writes.empty());
  EXPECT_EQ(ProgressDisplay::Line("a", 2.0, 0), "meshctl: a: 2.0 s");
  EXPECT_EQ(ProgressDisplay::Line("a", 2.0, 1234567), "meshctl: a: 2.0 s, 1,234,567 elements so far");
}

TEST(ProgressTickerTest, TicksOnItsOwnUntilDestroyed) {
  std::mutex mutex;
  int writes = 0;
  ProgressDisplay display(
      "a",
      [&](const std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        ++writes;
      },
      ProgressDisplay::Clock::now, std::chrono::milliseconds(1));
  {
    ProgressTicker ticker(&display, std::chrono::milliseconds(2));
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (writes >= 3) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_GE(writes, 3);
}

}  // namespace
}  // namespace mesh
