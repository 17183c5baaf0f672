// The request bytes the parser builds (golden GET and POST), the chunking rule, and the
// splitting of responses however they arrive, including hostile ones.
#include "exchange/http_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Str(CPwByteArrayC aBytes) { return std::string(aBytes.View()); }

// Every request byte, collected in chunks of at most aMax; aChunks receives each chunk.
std::string Drain(CHttpParser& aParser, int32_t aMax, std::vector<std::string>* aChunks = nullptr) {
  std::string all;
  std::vector<uint8_t> buffer(static_cast<size_t>(aMax));
  for (;;) {
    const int32_t n = aParser.NextRequestBytes(buffer.data(), aMax);
    if (n == 0) break;
    EXPECT_LE(n, aMax);
    std::string chunk(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
    if (aChunks) aChunks->push_back(chunk);
    all += chunk;
  }
  return all;
}

void Feed(CHttpParser& aParser, const std::string& aBytes) {
  ASSERT_EQ(aParser.AddResponseBytes(reinterpret_cast<const uint8_t*>(aBytes.data()),
                                     static_cast<int32_t>(aBytes.size())),
            KErrNone);
}

TEST(HttpParser, SetRequestAcceptsOnlyHttpUrlsWithHostAndPath) {
  CHttpParser parser;
  EXPECT_FALSE(parser.SetRequest("GET", "ftp://example.org/automatic/tracks/index.php"));
  EXPECT_FALSE(parser.SetRequest("GET", "http://example.org"));  // no "/" after the host
  EXPECT_FALSE(parser.SetRequest("GET", "http:///automatic/"));  // no host
  EXPECT_FALSE(parser.SetRequest("GET", "http:/"));
  EXPECT_FALSE(parser.SetRequest("GET", "example.org/index.php"));
  EXPECT_TRUE(parser.RequestLine().IsEmpty());
  EXPECT_TRUE(parser.RequestHeaders().IsEmpty());

  ASSERT_TRUE(parser.SetRequest("GET", "HTTP://Example.org:8080/a/b?c=d"));
  EXPECT_EQ(Str(parser.Host()), "Example.org:8080");
  EXPECT_EQ(Str(parser.RequestLine()), "GET /a/b?c=d HTTP/1.0\r\n");
}

TEST(HttpParser, GetRequestBytesAreExactAndChunksNeverSpanBuffers) {
  CHttpParser parser;
  parser.AddHeader("User-Agent", "Pacewright/1.45/Desktop");
  ASSERT_TRUE(parser.SetRequest("GET", "http://tracks.example.org/automatic/tracks/index.php"));

  const std::string line = "GET /automatic/tracks/index.php HTTP/1.0\r\n";
  const std::string headers =
      "User-Agent: Pacewright/1.45/Desktop\r\n"
      "Host: tracks.example.org\r\n"
      "Content-Length: 0\r\n"
      "\r\n";
  std::vector<std::string> chunks;
  EXPECT_EQ(Drain(parser, 16, &chunks), line + headers);
  // 42 bytes of request line: 16 + 16 + 10, then the headers start a chunk of their own.
  ASSERT_GE(chunks.size(), 4u);
  EXPECT_EQ(chunks[2].size(), 10u);
  EXPECT_EQ(chunks[3], headers.substr(0, 16));
  uint8_t spare[8];
  EXPECT_EQ(parser.NextRequestBytes(spare, sizeof(spare)), 0);

  // Large chunks still end at each buffer's end.
  CHttpParser again;
  again.AddHeader("User-Agent", "Pacewright/1.45/Desktop");
  ASSERT_TRUE(again.SetRequest("GET", "http://tracks.example.org/automatic/tracks/index.php"));
  chunks.clear();
  Drain(again, 2048, &chunks);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], line);
  EXPECT_EQ(chunks[1], headers);
}

TEST(HttpParser, PostFormBytesAreExact) {
  CHttpParser parser;
  const std::string file("\x02\x00\x00\x00\r\n--\xff", 9);
  parser.AddFormField(u"email", u"driver@example.org");
  parser.AddFormField(u"description", u"N\u00fcrburg \"GP\"");
  parser.AddFormFile(u"attachment", u"N\u00fcrburg", CPwByteArrayC(file));
  parser.FinishForm();
  parser.AddHeader("User-Agent", "Pacewright/1.45/Desktop");
  ASSERT_TRUE(parser.SetRequest("POST", "http://127.0.0.1:8080/automatic/tracks/send.php"));

  const std::string body =
      "--PACEWRIGHT-MULTIPART-ID\r\n"
      "Content-Disposition: form-data; name=\"email\"\r\n"
      "\r\n"
      "driver@example.org\r\n"
      "--PACEWRIGHT-MULTIPART-ID\r\n"
      "Content-Disposition: form-data; name=\"description\"\r\n"
      "\r\n"
      "N\xc3\xbcrburg \"GP\"\r\n"
      "--PACEWRIGHT-MULTIPART-ID\r\n"
      "Content-Disposition: form-data; name=\"attachment\"; filename=\"N\xc3\xbcrburg\"\r\n"
      "Content-Type: application/octet-stream\r\n"
      "Content-Transfer-Encoding: binary\r\n"
      "\r\n" +
      file +
      "\r\n"
      "--PACEWRIGHT-MULTIPART-ID--\r\n";
  const std::string expected =
      "POST /automatic/tracks/send.php HTTP/1.0\r\n"
      "Content-Type: multipart/form-data; boundary=PACEWRIGHT-MULTIPART-ID\r\n"
      "User-Agent: Pacewright/1.45/Desktop\r\n"
      "Host: 127.0.0.1:8080\r\n"
      "Content-Length: " +
      std::to_string(body.size()) +
      "\r\n"
      "\r\n" +
      body;
  EXPECT_EQ(Drain(parser, 2048), expected);
}

TEST(HttpParser, FormParameterQuotesCannotBeBrokenOut) {
  CHttpParser parser;
  parser.AddFormFile(u"a\"b", u"x\"\r\nContent-Type: evil", CPwByteArrayC(""));
  const std::string body = Str(parser.RequestBody());
  EXPECT_NE(body.find("name=\"a%22b\"; filename=\"x%22%0D%0AContent-Type: evil\"\r\n"), std::string::npos);

  parser.ResetForm();
  EXPECT_TRUE(parser.RequestBody().IsEmpty());
}

TEST(HttpParser, ResponseSplitsIntoStatusHeadersAndBodyHoweverItArrives) {
  const std::string response =
      "HTTP/1.0 200 OK\r\nServer: test\r\nContent-Type: text/plain\r\n\r\nline 1\r\n\r\nline 3";
  // Whole, byte by byte, and with the CR LF pairs cut between reads.
  for (size_t piece : {response.size(), size_t{1}, size_t{2}, size_t{3}, size_t{17}}) {
    SCOPED_TRACE(piece);
    CHttpParser parser;
    EXPECT_EQ(parser.StatusCode(), -1);
    for (size_t i = 0; i < response.size(); i += piece) Feed(parser, response.substr(i, piece));
    EXPECT_EQ(parser.ResponseStage(), CHttpParser::EBody);
    EXPECT_EQ(parser.StatusCode(), 200);
    EXPECT_EQ(Str(parser.StatusLine()), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(Str(parser.ResponseHeaders()), "Server: test\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(Str(parser.ResponseBody()), "line 1\r\n\r\nline 3");
    EXPECT_EQ(parser.ResponseLength(), static_cast<int32_t>(response.size()));
  }
}

TEST(HttpParser, ResponseWithoutHeaderFieldsStillHasABody) {
  for (size_t piece : {size_t{1}, size_t{100}}) {
    CHttpParser parser;
    const std::string response = "HTTP/1.0 200 OK\r\n\r\nbody";
    for (size_t i = 0; i < response.size(); i += piece) Feed(parser, response.substr(i, piece));
    EXPECT_EQ(parser.ResponseStage(), CHttpParser::EBody);
    EXPECT_EQ(Str(parser.ResponseBody()), "body");
  }
}

TEST(HttpParser, StatusCodeIsTheFieldBetweenTheFirstTwoSpaces) {
  struct {
    const char* iLine;
    int32_t iCode;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\n", 200},
      {"HTTP/1.1 404 Not Found\r\n", 404},
      {"HTTP/1.0 200\r\n", -1},         // no second space
      {"HTTP/1.0 2x0 OK\r\n", -1},      // not a number
      {"HTTP/1.0  200 OK\r\n", -1},     // empty field
      {"HTTP/1.0 +200 OK\r\n", -1},
      {"HTTP/1.0 99999999999 OK\r\n", -1},
      {"\r\n", -1},
      {"garbage\r\n", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iLine);
    CHttpParser parser;
    Feed(parser, c.iLine);
    EXPECT_EQ(parser.ResponseStage(), CHttpParser::EHeaders);
    EXPECT_EQ(parser.StatusCode(), c.iCode);
  }
}

TEST(HttpParser, HostileResponsesStopAtTheSizeLimit) {
  const std::string junk(100000, '\xa5');  // no line end ever
  CHttpParser parser;
  int32_t result = KErrNone;
  int32_t fed = 0;
  while (result == KErrNone) {
    result = parser.AddResponseBytes(reinterpret_cast<const uint8_t*>(junk.data()), 2048);
    if (result == KErrNone) fed += 2048;
  }
  EXPECT_EQ(result, KErrTooLong);
  EXPECT_LE(parser.ResponseLength(), CHttpParser::KMaxResponseBytes);
  EXPECT_GT(fed, CHttpParser::KMaxResponseBytes - 2048);
  EXPECT_EQ(parser.ResponseStage(), CHttpParser::EStatusLine);
  EXPECT_EQ(parser.StatusCode(), -1);

  // Endless headers are bounded the same way.
  CHttpParser headers;
  Feed(headers, "HTTP/1.0 200 OK\r\n");
  const std::string field = "X-Padding: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
  int32_t code = KErrNone;
  while (code == KErrNone)
    code = headers.AddResponseBytes(reinterpret_cast<const uint8_t*>(field.data()), static_cast<int32_t>(field.size()));
  EXPECT_EQ(code, KErrTooLong);
  EXPECT_EQ(headers.ResponseStage(), CHttpParser::EHeaders);

  // A response that fits exactly is accepted.
  CHttpParser exact;
  std::string big = "HTTP/1.0 200 OK\r\n\r\n";
  big.resize(CHttpParser::KMaxResponseBytes, 'b');
  Feed(exact, big);
  EXPECT_EQ(exact.ResponseBody().Length(), CHttpParser::KMaxResponseBytes - 19);
  const uint8_t one = 'x';
  EXPECT_EQ(exact.AddResponseBytes(&one, 1), KErrTooLong);
}

int32_t Add(CHttpParser& aParser, const std::string& aBytes) {
  return aParser.AddResponseBytes(reinterpret_cast<const uint8_t*>(aBytes.data()), static_cast<int32_t>(aBytes.size()));
}

TEST(HttpParser, ContentLengthEndsTheBodyAndRefusesWhatItCannotBe) {
  // The length may arrive cut up with the rest; bytes after the body are dropped.
  CHttpParser parser;
  Feed(parser, "HTTP/1.0 200 OK\r\nContent-Len");
  EXPECT_EQ(parser.ContentLength(), -1);
  Feed(parser, "gth: 7\r\n\r\nabc");
  EXPECT_EQ(parser.ContentLength(), 7);
  EXPECT_FALSE(parser.IsBodyComplete());
  EXPECT_FALSE(parser.IsWholeResponse());
  Feed(parser, "defgXYZ");
  EXPECT_TRUE(parser.IsBodyComplete());
  EXPECT_TRUE(parser.IsWholeResponse());
  EXPECT_EQ(Str(parser.ResponseBody()), "abcdefg");
  Feed(parser, "more");
  EXPECT_EQ(Str(parser.ResponseBody()), "abcdefg");

  // Without a length the body runs to the close, and any body is whole.
  CHttpParser open;
  Feed(open, "HTTP/1.0 200 OK\r\nX-Length: 3\r\n\r\nabcdef");
  EXPECT_FALSE(open.IsBodyComplete());
  EXPECT_TRUE(open.IsWholeResponse());

  // The largest body the cap allows is announced; one byte more is refused before any of it.
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: ";
  const int32_t room = CHttpParser::KMaxResponseBytes - static_cast<int32_t>(head.size()) - 11;  // "4194xxx\r\n\r\n"
  CHttpParser largest;
  Feed(largest, head + std::to_string(room) + "\r\n\r\n");
  EXPECT_EQ(largest.ContentLength(), room);
  CHttpParser over;
  EXPECT_EQ(Add(over, head + std::to_string(room + 1) + "\r\n\r\nbody"), KErrTooLong);
  EXPECT_TRUE(over.ResponseBody().IsEmpty());

  for (const char* value : {"-1", "+5", "5 5", "0x10", "", "99999999999999999999", "5\r\nContent-Length: 6"}) {
    SCOPED_TRACE(value);
    CHttpParser bad;
    const int32_t code = Add(bad, head + value + "\r\n\r\nhello");
    EXPECT_TRUE(code == KErrCorrupt || code == KErrTooLong) << code;
    EXPECT_TRUE(bad.ResponseBody().IsEmpty());
    EXPECT_FALSE(bad.IsWholeResponse());
    // The refusal stays until the parser is reset.
    EXPECT_EQ(Add(bad, "more"), code);
    bad.Reset();
    EXPECT_EQ(bad.ContentLength(), -1);
    EXPECT_EQ(Add(bad, "HTTP/1.0 200 OK\r\n\r\nok"), KErrNone);
    EXPECT_TRUE(bad.IsWholeResponse());
  }
}

TEST(HttpParser, ResetEmptiesEverythingAndTakeMovesTheBody) {
  CHttpParser parser;
  parser.AddFormField(u"a", u"b");
  parser.AddHeader("X", 42);
  ASSERT_TRUE(parser.SetRequest("POST", "http://h/p"));
  EXPECT_NE(Str(parser.RequestHeaders()).find("X: 42\r\n"), std::string::npos);
  Feed(parser, "HTTP/1.0 200 OK\r\n\r\nbody");

  CPwByteArray body;
  parser.TakeResponseBody(body);
  EXPECT_EQ(Str(body), "body");
  EXPECT_TRUE(parser.ResponseBody().IsEmpty());

  parser.Reset();
  EXPECT_TRUE(parser.Host().IsEmpty());
  EXPECT_TRUE(parser.RequestLine().IsEmpty());
  EXPECT_TRUE(parser.RequestHeaders().IsEmpty());
  EXPECT_TRUE(parser.RequestBody().IsEmpty());
  EXPECT_TRUE(parser.StatusLine().IsEmpty());
  EXPECT_EQ(parser.StatusCode(), -1);
  EXPECT_EQ(parser.ResponseStage(), CHttpParser::EStatusLine);
  EXPECT_EQ(parser.ResponseLength(), 0);
  uint8_t buffer[4];
  EXPECT_EQ(parser.NextRequestBytes(buffer, sizeof(buffer)), 0);
}

}  // namespace
