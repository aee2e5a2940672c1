// The card reading on a second thread: the same rows, in the same order, as
// one parser per book on the caller's thread, whatever the chunk size, with
// the reader kept slow or fast; a failure on the reader's thread reaches the
// caller; a caller that leaves early is not kept waiting.
#include "addrbook/card_reading_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/iconv_text_codec.h"

using namespace vantrel;

namespace {

std::string Books(int book) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(book) + "-" + std::to_string(i);
    text += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + n + "\r\nN:Family" + n + ";Given;;;\r\n";
    if (i % 5 == 0) text += "NICKNAME:nick" + n + ",other\r\n";
    if (i % 7 == 0) text += "NOTE:" + std::string(300, 'x') + "\r\n";  // longer than a chunk
    text += "EMAIL;PREF;INTERNET:p" + n + "@example.com\r\n";
    if (i % 3 == 0) text += "item1.EMAIL;type=pref:second" + n + "@example.org\r\n";
    text += "END:VCARD\r\n";
  }
  if (book == 2) text += "EMAIL;PREF:outside@example.net\r\n\x1A" "EMAIL;PREF:after@eof.example\r\n";
  if (book == 3) text += "BEGIN:VCARD\nFN:Open card\nEMAIL:open@example.com";  // no line end
  return text;
}

struct Collect final : NamedAddressSink {
  std::vector<std::string> rows;
  int delay_every = 0;  // a slow reader: the queue fills and every buffer is used
  int throw_at = -1;
  void Take(const NamedAddress& row) override {
    if (static_cast<int>(rows.size()) == throw_at) throw std::runtime_error("sink failed");
    std::string r = row.address + "|" + row.display_name;
    for (const auto& n : row.names) r += "|" + std::string(n.begin(), n.end());
    rows.push_back(r);
    if (delay_every && rows.size() % delay_every == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

// As the file reader does: each chunk read into Buffer(), handed over, and
// then read again by the caller (here: compared with the book) before the
// next Buffer(), while the reader parses the same bytes.
void Feed(CardReadingThread& cards, const std::vector<std::string>& books, size_t chunk) {
  for (const std::string& book : books) {
    for (size_t pos = 0; pos < book.size(); pos += chunk) {
      char* buffer = cards.Buffer();
      const size_t n = std::min(chunk, book.size() - pos);
      std::memcpy(buffer, book.data() + pos, n);
      cards.Submit(n);
      ASSERT_EQ(0, std::memcmp(buffer, book.data() + pos, n)) << "the reader wrote to a chunk";
    }
    cards.EndBook();
  }
}

TEST(CardReadingThread, GivesTheRowsOfOneParserPerBookInOrder) {
  IconvTextCodec codec(1252);
  const std::vector<std::string> books = {Books(0), Books(1), "", Books(2), Books(3)};
  Collect want;
  for (const std::string& book : books) {
    CCardParser parser(want, codec);
    parser.Feed(book.data(), book.size());
    parser.Finish();
  }
  ASSERT_GT(want.rows.size(), 200u);
  ASSERT_NE(std::find(want.rows.begin(), want.rows.end(), "open@example.com|Open card|Open card"),
            want.rows.end());

  struct Run {
    size_t chunk;
    int delay_every;
    bool threaded = true;  // false: parsed on the caller's thread
  };
  for (const Run& run : {Run{1, 0}, Run{7, 0}, Run{64, 25}, Run{4096, 0}, Run{1 << 20, 3},
                         Run{7, 0, false}, Run{4096, 0, false}}) {
    Collect got;
    got.delay_every = run.delay_every;
    CardReadingThread cards(got, codec, run.chunk, run.threaded);
    EXPECT_EQ(run.threaded, cards.threaded());
    Feed(cards, books, run.chunk);
    cards.Finish();
    EXPECT_EQ(want.rows, got.rows) << "chunks of " << run.chunk;
  }
}

TEST(CardReadingThread, AFailureOnTheReaderReachesTheCallerAndNothingWaitsForEver) {
  IconvTextCodec codec(1252);
  const std::vector<std::string> books = {Books(0), Books(1), Books(2)};
  {
    Collect got;
    got.throw_at = 30;
    CardReadingThread cards(got, codec, 16);
    Feed(cards, books, 16);  // the reader keeps taking chunks after it failed
    EXPECT_THROW(cards.Finish(), std::runtime_error);
    EXPECT_EQ(30u, got.rows.size());
  }
  {
    // The caller leaves by an exception of its own with chunks still queued
    // behind a slow sink: the destructor lets the reader finish the chunk in
    // hand and drops the rest.
    Collect all;
    for (const std::string& book : books) {
      CCardParser parser(all, codec);
      parser.Feed(book.data(), book.size());
      parser.Finish();
    }
    Collect got;
    got.delay_every = 1;
    {
      CardReadingThread cards(got, codec, 4096);
      Feed(cards, books, 4096);
    }
    const size_t seen = got.rows.size();
    EXPECT_LT(seen, all.rows.size()) << "the reader was stopped, not drained";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(seen, got.rows.size()) << "no row after the destructor returned";
  }
}

}  // namespace
