#include "net/url.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <random>
#include <string>

#include "base/literal.h"
#include "net/verb.h"

namespace {

TEST(TextBetween, Cases) {
  struct Row {
    const char* name;
    Text text, left, right;
    int start;
    bool case_blind;
    Text want;
  };
  const Row rows[] = {
      {"plain", "a<b>c", "<", ">", 1, false, "b"},
      {"adjacent markers", "a<>c", "<", ">", 1, false, ""},
      {"no left marker", "abc>", "<", ">", 1, false, ""},
      {"no right marker", "a<bc", "<", ">", 1, false, ""},
      {"right marker only before the left", "a>b<c", "<", ">", 1, false, ""},
      {"first right marker after the left", "x>a<b>c>", "<", ">", 1, false, "b"},
      {"multi-byte markers", "<b>x</b>y</b>", "<b>", "</b>", 1, false, "x"},
      {"start skips an earlier left marker", "<a><b>", "<", ">", 3, false, "b"},
      {"start below 1 is the beginning", "<a><b>", "<", ">", -4, false, "a"},
      {"letter case significant", "<A>x</A>", "<a>", "</a>", 1, false, ""},
      {"letter case ignored", "<A>x</A>", "<a>", "</a>", 1, true, "x"},
      // 81 7C is one character; its second byte is not a "|".
      {"marker byte inside a double-byte character", "\x81|x|y|", "|", "|", 1, false, "y"},
      {"reply amount", concat_text(ZH("<b>￥"), "20.00</b>"), ZH("<b>￥"), "</b>", 1, false,
       "20.00"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(text_between(r.text, r.left, r.right, r.start, r.case_blind).bytes(), r.want.bytes());
  }
}

TEST(TextBetween, QuoteMarkerStandsForADoubleQuote) {
  const Text& quote = ZH("#引号");
  EXPECT_EQ(text_between("a\"b\"z", quote, quote).bytes(), "b");
  EXPECT_EQ(text_between("id=\"42\">", concat_text("id=", quote), concat_text(quote, ">")).bytes(),
            "42");
  // The text itself is taken literally: "#引号" in it is no quote.
  EXPECT_EQ(text_between(concat_text("a", quote, "b\"z"), quote, quote).bytes(), "");
}

TEST(HeaderValue, Cases) {
  struct Row {
    const char* name;
    Text line, want;
  } rows[] = {
      {"trimmed value", "User-Agent: abc ", "abc"},
      {"no colon", "abc", ""},
      {"first colon only", "A: b: z", "b: z"},
      {"colon at the end", "A:", ""},
      {"full-width spaces trimmed", concat_text("K:", ZH("\u3000"), "v ", ZH("\u3000")), "v"},
      {"tab kept", "K:\tv", "\tv"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(header_value(r.line).bytes(), r.want.bytes());
  }
}

TEST(UrlHost, AuthorityMode) {
  struct Row {
    const char* name;
    Text url;
    bool domain_only, keep_port;
    Text want;
  } rows[] = {
      {"lower case, no port", "HTTP://Aa.Bb.CC:8080/A/b?x", false, false, "aa.bb.cc"},
      {"port kept", "HTTP://Aa.Bb.CC:8080/A/b?x", false, true, "aa.bb.cc:8080"},
      {"domain only", "HTTP://Aa.Bb.CC:8080/A/b?x", true, false, "bb.cc"},
      {"domain only with port", "http://aa.bb.cc:8080/", true, true, "bb.cc:8080"},
      {"domain only, one label", "http://localhost:8012/x", true, false, "localhost"},
      {"no scheme", "bb.cc", false, false, "bb.cc"},
      {"no scheme, with path", "bb.cc:999/pay.jsp", false, true, "bb.cc:999"},
      {"https", "https://a.b", false, false, "a.b"},
      {"HTTPS in capitals", "HTTPS://A.B:443/x", false, true, "a.b:443"},
      {"empty", "", false, false, ""},
      {"query right after the host", "http://bb.cc?x=1", false, false, "bb.cc?x=1"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(url_host(r.url, r.domain_only, r.keep_port).bytes(), r.want.bytes());
  }
}

TEST(UrlHost, LabelMode) {
  struct Row {
    const char* name;
    Text url;
    bool domain_only, keep_port;
    int levels;
    Text want;
  } rows[] = {
      {"levels 0", "http://a.b.bb.cc/x", false, false, 0, "bb.cc"},
      {"levels 1", "http://a.b.bb.cc/x", false, false, 1, "b.bb.cc"},
      {"levels 2 keeps a host of four labels whole", "http://a.b.bb.cc/x", false, false, 2,
       "a.b.bb.cc"},
      {"domain only, levels 0", "http://a.b.bb.cc/x", true, false, 0, "cc"},
      {"domain only, levels 1", "http://a.b.bb.cc/x", true, false, 1, "bb.cc"},
      {"negative levels count as 0", "http://a.b.bb.cc/x", false, false, -3, "bb.cc"},
      {"huge levels", "http://a.b.bb.cc/x", true, false, INT_MAX, "a.b.bb.cc"},
      {"single label, levels 0", "http://localhost/", false, false, 0, "localhost"},
      {"single label, levels 5", "http://localhost/", false, false, 5, "localhost"},
      {"single label, domain only", "http://localhost/", true, false, 0, "localhost"},
      {"https removed, letter case lowered", "HTTPS://WWW.Bb.CC/x", false, false, 0, "bb.cc"},
      {"port removed", "http://a.bb.cc:8012/", false, false, 0, "bb.cc"},
      {"port kept", "http://a.bb.cc:8012/", false, true, 0, "bb.cc:8012"},
      {"a final dot is no separator", "http://a.bb.cc./", true, false, 0, "cc."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(url_host(r.url, r.domain_only, r.keep_port, r.levels).bytes(), r.want.bytes());
  }
}

TEST(UrlPort, Cases) {
  struct Row {
    const char* name;
    Text url;
    int want;
  } rows[] = {
      {"explicit", "http://bb.cc:8012/x", 8012},
      {"https default", "https://bb.cc/x", 443},
      {"HTTPS default", "HTTPS://bb.cc", 443},
      {"http default", "http://bb.cc/x", 80},
      {"no scheme", "bb.cc/x", 80},
      {"explicit on https", "https://bb.cc:999/pay.jsp", 999},
      {"empty port", "http://bb.cc:/x", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(url_port(r.url), r.want);
  }
}

TEST(UrlPath, Cases) {
  struct Row {
    const char* name;
    Text url, want;
  } rows[] = {
      {"path and query", "http://bb.cc:999/pay.jsp?uid=1", "/pay.jsp?uid=1"},
      {"no path", "http://bb.cc", "/"},
      {"query without a slash is dropped", "http://bb.cc?x=1", "/"},
      {"letter case kept", "HTTP://BB.cc/A/B?X=Y", "/A/B?X=Y"},
      {"no scheme", "bb.cc/x/y", "/x/y"},
      {"empty", "", "/"},
      // Hosts that also occur inside the scheme must not be found there.
      {"host t", "http://t/a", "/a"},
      {"host p with port", "http://p:8012/a?b", "/a?b"},
      {"host s over https", "https://s/x", "/x"},
      {"host tp", "HTTP://TP/x", "/x"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(url_path(r.url).bytes(), r.want.bytes());
  }
}

// Authority mode, url_port and url_path spelled out step by step with the text primitives, as
// the reference for the helpers, which take the URL apart in one pass.
namespace literal_steps {

Text host(const Text& url, bool domain_only, bool keep_port) {
  Text u = lower_text(url);
  if (text_right(u, 1) != Text("/")) u = concat_text(u, "/");
  Text h;
  if (text_left(u, 8) == Text("https://")) {
    h = text_between(u, "https://", "/");
  } else {
    if (find_text(u, "http://") == -1) u = concat_text("http://", u);
    h = text_between(u, "http://", "/");
  }
  if (domain_only) {
    const TextArray labels = split_text(h, ".");
    const int n = array_count(labels);
    if (n > 1) h = concat_text(labels[n - 1], ".", labels[n]);
  }
  if (keep_port) return h;
  const int colon = find_text(h, ":");
  return colon == -1 ? h : text_left(h, colon - 1);
}

int port(const Text& url) {
  const Text h = host(url, false, true);
  const int k = find_text_reverse(h, ":");
  if (k != -1) return text_to_int(text_right(h, text_length(h) - k));
  return text_left(lower_text(url), 5) == Text("https") ? 443 : 80;
}

Text path(const Text& url) {
  const Text h = host(url, false, false);
  const Text scheme = lower_text(text_left(url, 8));
  const int after_scheme = scheme == Text("https://")                ? 9
                           : text_left(scheme, 7) == Text("http://") ? 8
                                                                     : 1;
  const int a = find_text(url, h, after_scheme, true);
  const int b = find_text(url, "/", a, true);
  if (b == -1) return "/";
  return text_right(url, text_length(url) - b + 1);
}

}  // namespace literal_steps

// URLs put together from pieces that move the markers around: schemes in any letter case and
// place, ports, slashes, and double-byte characters whose second byte is "/", ":" or a capital.
TEST(UrlHelpers, RandomUrlsAgainstTheLiteralSteps) {
  const std::string pieces[] = {
      "http://", "https://", "HTTP://", "HttpS://", "https:/", "h",     "t",     "P",
      ":",       "/",        "//",      ".",        "a",       "B",     "8012",  "-3",
      "?x=1",    "#",        " ",       "\x81",     "\x81/",   "\x81:", "\x81Q", "\xD6\xD0"};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, 8);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes;
    for (int n = count(random); n > 0; --n) bytes += pieces[piece(random)];
    const Text url(bytes);
    SCOPED_TRACE(testing::PrintToString(bytes));
    for (const bool domain_only : {false, true}) {
      for (const bool keep_port : {false, true}) {
        ASSERT_EQ(url_host(url, domain_only, keep_port).bytes(),
                  literal_steps::host(url, domain_only, keep_port).bytes())
            << domain_only << keep_port;
      }
    }
    ASSERT_EQ(url_port(url), literal_steps::port(url));
    ASSERT_EQ(url_path(url).bytes(), literal_steps::path(url).bytes());
  }
}

TEST(EncodeQueryValue, ReservedAndNonAsciiBytesAreEscaped) {
  EXPECT_EQ(encode_query_value(concat_text("a&b#c%d+e f\r\n", ZH("中"), "=?/")).bytes(),
            "a%26b%23c%25d%2Be%20f%0D%0A%D6%D0%3D%3F%2F");
  EXPECT_EQ(encode_query_value("AZaz09-._~").bytes(), "AZaz09-._~");
  EXPECT_EQ(encode_query_value("\x7F\x80\xFF").bytes(), "%7F%80%FF");
  EXPECT_TRUE(encode_query_value("").empty());
}

TEST(VerbName, TableAndOutOfRange) {
  const std::string names[] = {"GET",     "POST",   "HEAD",  "PUT",
                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(verb_name(i), names[i]) << i;
  for (int i : {-1, 8, INT_MIN, INT_MAX}) EXPECT_STREQ(verb_name(i), "GET") << i;
}

}  // namespace
